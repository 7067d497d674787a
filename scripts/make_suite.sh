#!/usr/bin/env bash
# Writes the transistor characterization suite, models/torvex/examples/suite/:
# one netlist per case, library and polarity, all at default model parameters
# but for the switching cases' NCELL (a p-type device sees the mirrored voltages).
# Rerun after changing a case.
set -euo pipefail
cd "$(dirname "$0")/.."
out=models/torvex/examples/suite
mkdir -p "$out"
rm -f "$out"/*.cir

# Instance line of a library: drain, gate, thermal node, extra parameters.
device() { # lib name d g t params
  local lib=$1 name=$2 d=$3 g=$4 t=$5 p=$6
  case $lib in
    TORVEX_CORE) echo "$name $d $g 0 0 $t 0 TORVEX_CORE$p" ;;
    TORVEX_EN)   echo "$name $d $g 0 $t 0 v_$name i_$name TORVEX_EN$p"; echo "VI_$name i_$name 0 DC 0" ;;
    TORVEX)      echo "$name $d $g 0 $t 0 TORVEX$p" ;;
  esac
}

# case: title, sweep/analysis lines written by the body below.
write_case() { # lib type case
  local lib=$1 type=$2 case=$3 s p="" temp=""
  if [ "$type" = p ]; then s=-1; p=" TYPE=-1"; else s=1; fi
  local f="$out/$(echo "$lib" | tr 'A-Z' 'a-z')_${type}_${case}.cir"
  v() { awk -v a="$1" -v s="$s" 'BEGIN { x = a * s; printf "%g", x }'; }
  {
    echo "* $lib ($type-type) characterization: $case, default parameters"
    echo ".lib $lib.so"
    case $case in
      output|output_rth50|output_rth500)
        [ "$case" = output_rth50 ] && p="$p RTHCALC=2 RTH=50"
        [ "$case" = output_rth500 ] && p="$p RTHCALC=2 RTH=500"
        echo "VD d 0 DC 0"; echo "VG g 0 DC 0"
        device "$lib" N1 d g t "$p"
        echo ".dc VD 0 $(v 30) $(v 0.5) VG $(v 2) $(v 10) $(v 2)"
        echo ".print dc i(VD) v(t)" ;;
      transfer|transfer_rth50|transfer_rth500|transfer_m40|transfer_150)
        [ "$case" = transfer_rth50 ] && p="$p RTHCALC=2 RTH=50"
        [ "$case" = transfer_rth500 ] && p="$p RTHCALC=2 RTH=500"
        [ "$case" = transfer_m40 ] && echo ".temp -40"
        [ "$case" = transfer_150 ] && echo ".temp 150"
        echo "VD d 0 DC $(v 10)"; echo "VG g 0 DC 0"
        device "$lib" N1 d g t "$p"
        echo ".dc VG 0 $(v 10) $(v 0.1)"
        echo ".print dc i(VD) v(t)" ;;
      blocking)
        echo "VD d 0 DC 0"; echo "VG g 0 DC 0"
        device "$lib" N1 d g t "$p"
        echo ".dc VD 0 $(v 100) $(v 1)"
        echo ".print dc i(VD)" ;;
      ac)
        echo "VD d 0 DC $(v 15)"; echo "VG g 0 DC $(v 6) AC 1"
        device "$lib" N1 d g t "$p"
        echo ".ac dec 5 1k 1g"
        echo ".print ac VM(d) VP(d) IM(VD) IP(VD)" ;;
      op_on)
        echo "VD d 0 DC $(v 15)"; echo "VG g 0 DC $(v 6)"
        device "$lib" N1 d g t "$p"
        echo ".op"
        echo ".print op i(VD) v(t)" ;;
      op_off)
        echo "* four devices off, each on its own drain supply"
        echo "VG g 0 DC 0"
        for vd in 10 15 20 50; do
          echo "VD$vd d$vd 0 DC $(v $vd)"
          device "$lib" N$vd d$vd g t$vd "$p"
        done
        echo ".op"
        echo ".print op i(VD10) i(VD15) i(VD20) i(VD50)" ;;
      double_pulse)
        # Two gate pulses switch the inductor current up to 5 A and 10 A and
        # hand it to the freewheeling diode in between.
        p="$p NCELL=1e4"
        echo ".lib fixdiode_160.so"
        echo "VDD vdd 0 DC $(v 100)"
        echo "L1 vdd d 100u"
        if [ "$type" = n ]; then echo "ND d vdd fixdiode"; else echo "ND vdd d fixdiode"; fi
        echo "VG gs 0 PULSE(0 $(v 10) 1u 20n 20n 5u 10u)"
        echo "RG gs g 10"
        device "$lib" N1 d g t "$p"
        echo ".tran 10n 20u"
        echo ".print tran v(d) v(g) v(gs) v(t) i(VDD) i(L1) i(VG)" ;;
      gate_charge)
        # 1 mA into the gate of a device that switches 10 ohm from 20 V; the
        # gate voltage pauses on the Miller plateau while the drain falls.
        p="$p NCELL=1e4"
        echo "VDD vdd 0 DC $(v 20)"
        echo "RL vdd d 10"
        if [ "$type" = n ]; then echo "IG 0 g PULSE(0 1m 100n 10n 10n 1 2)"; else echo "IG g 0 PULSE(0 1m 100n 10n 10n 1 2)"; fi
        echo "RGG g 0 1meg"
        device "$lib" N1 d g t "$p"
        echo ".tran 2n 3u"
        echo ".print tran v(g) v(d) i(VDD)" ;;
    esac
    echo ".end"
  } > "$f"
  case $case in
    double_pulse|gate_charge) sed -i '1s/default parameters/default parameters but NCELL=1e4/' "$f" ;;
  esac
}

for lib in TORVEX_CORE TORVEX_EN TORVEX; do
  for type in n p; do
    for case in output transfer blocking output_rth50 transfer_rth50 output_rth500 transfer_rth500 \
                transfer_m40 transfer_150 ac op_on op_off double_pulse gate_charge; do
      write_case "$lib" "$type" "$case"
    done
  done
done
