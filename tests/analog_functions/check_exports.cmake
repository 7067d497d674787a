# Fails unless the dynamic symbol table of LIB defines exactly the 81 entries
# of the analog functions with the given MODULE prefix part ("_module1_").
set(names hypf hypf2 hypf3 hypfm hypfm1 asinh_val
  psi_s_val psisat_val psi_acc_val Vinv_val Vov_val Vxb_c_val Vcalc_val Del_Vg_val Vdsat_val
  Cox_eff_val G_mob_val G_vsat_val Thesat_val Eid_sat_val G_DelL_val
  MDR_Iohm_val Idrft_val Iavl_val Qdiode_val Rthcor_val Rtharea_val)
set(expected)
foreach(kind fn fnRHS fnScalarDeriv)
  foreach(name ${names})
    list(APPEND expected "_${kind}_${MODULE}${name}")
  endforeach()
endforeach()

execute_process(COMMAND nm -D --defined-only ${LIB}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(actual)
foreach(line ${lines})
  string(REGEX REPLACE "^.* " "" sym "${line}")
  list(APPEND actual "${sym}")
endforeach()

list(SORT expected)
list(SORT actual)
list(LENGTH expected n_expected)
if(NOT "${actual}" STREQUAL "${expected}")
  set(missing ${expected})
  list(REMOVE_ITEM missing ${actual})
  set(extra ${actual})
  list(REMOVE_ITEM extra ${expected})
  message(FATAL_ERROR "exported symbols differ from the ${n_expected} entries\n"
    "missing: ${missing}\nunexpected: ${extra}")
endif()
message(STATUS "${LIB}: exactly the ${n_expected} entries")
