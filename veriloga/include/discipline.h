/*
 * discipline.h - natures and disciplines for the project's Verilog-A models.
 *
 * Natures name a physical quantity with its units, its probe function and
 * the absolute tolerance the simulator applies to it. A discipline pairs a
 * potential nature with a flow nature (or names a discrete domain).
 * Models include this file with `include "discipline.h".
 */

`ifndef VXR_DISCIPLINE_H
`define VXR_DISCIPLINE_H

// Digital signals: no natures, discrete domain.
discipline logic
  domain discrete;
enddiscipline

// Tolerances used below; a model may override a nature's tolerance through
// its own nature declaration derived from these.
`define VXR_TOL_CURRENT   1e-12
`define VXR_TOL_CHARGE    1e-14
`define VXR_TOL_VOLTAGE   1e-6
`define VXR_TOL_FLUX      1e-9

// ---- electrical ----------------------------------------------------------
nature Current
  units        = "A";
  access       = I;
  idt_nature   = Charge;
`ifdef CURRENT_ABSTOL
  abstol       = `CURRENT_ABSTOL;
`else
  abstol       = `VXR_TOL_CURRENT;
`endif
endnature

nature Charge
  units        = "coul";
  access       = Q;
  ddt_nature   = Current;
`ifdef CHARGE_ABSTOL
  abstol       = `CHARGE_ABSTOL;
`else
  abstol       = `VXR_TOL_CHARGE;
`endif
endnature

// Potential of the electrical discipline; its integral in time is a flux
// linkage (see Flux below), which the inductor equations of a model
// produce through idt() of a voltage.
nature Voltage
  units        = "V";
  access       = V;
  idt_nature   = Flux;
`ifdef VOLTAGE_ABSTOL
  abstol       = `VOLTAGE_ABSTOL;
`else
  abstol       = `VXR_TOL_VOLTAGE;
`endif
endnature

nature Flux
  units        = "Wb";
  access       = Phi;
  ddt_nature   = Voltage;
`ifdef FLUX_ABSTOL
  abstol       = `FLUX_ABSTOL;
`else
  abstol       = `VXR_TOL_FLUX;
`endif
endnature

// Circuit nets: voltage across, current through. Ports and internal nodes
// of analog models default to this discipline.
discipline electrical
  potential    Voltage;
  flow         Current;
enddiscipline

// Signal-flow forms of the same natures.
discipline voltage
  potential    Voltage;
enddiscipline

discipline current
  potential    Current;
enddiscipline

// ---- magnetic ------------------------------------------------------------
`define VXR_TOL_MMF       1e-12

nature Magneto_Motive_Force
  units        = "A*turn";
  access       = MMF;
`ifdef MAGNETO_MOTIVE_FORCE_ABSTOL
  abstol       = `MAGNETO_MOTIVE_FORCE_ABSTOL;
`else
  abstol       = `VXR_TOL_MMF;
`endif
endnature

discipline magnetic
  potential    Magneto_Motive_Force;
  flow         Flux;
enddiscipline

// ---- thermal -------------------------------------------------------------
`define VXR_TOL_TEMP      1e-4
`define VXR_TOL_POWER     1e-9

nature Temperature
  units        = "K";
  access       = Temp;
`ifdef TEMPERATURE_ABSTOL
  abstol       = `TEMPERATURE_ABSTOL;
`else
  abstol       = `VXR_TOL_TEMP;
`endif
endnature

nature Power
  units        = "W";
  access       = Pwr;
`ifdef POWER_ABSTOL
  abstol       = `POWER_ABSTOL;
`else
  abstol       = `VXR_TOL_POWER;
`endif
endnature

discipline thermal
  potential    Temperature;
  flow         Power;
enddiscipline

// ---- translational mechanics ---------------------------------------------
`define VXR_TOL_POS       1e-6
`define VXR_TOL_VEL       1e-6
`define VXR_TOL_ACC       1e-6
`define VXR_TOL_FORCE     1e-6

nature Position
  units        = "m";
  access       = Pos;
  ddt_nature   = Velocity;
`ifdef POSITION_ABSTOL
  abstol       = `POSITION_ABSTOL;
`else
  abstol       = `VXR_TOL_POS;
`endif
endnature

nature Velocity
  units        = "m/s";
  access       = Vel;
  ddt_nature   = Acceleration;
  idt_nature   = Position;
`ifdef VELOCITY_ABSTOL
  abstol       = `VELOCITY_ABSTOL;
`else
  abstol       = `VXR_TOL_VEL;
`endif
endnature

nature Acceleration
  units        = "m/s^2";
  access       = Acc;
  ddt_nature   = Impulse;
  idt_nature   = Velocity;
`ifdef ACCELERATION_ABSTOL
  abstol       = `ACCELERATION_ABSTOL;
`else
  abstol       = `VXR_TOL_ACC;
`endif
endnature

nature Impulse
  units        = "m/s^3";
  access       = Imp;
  idt_nature   = Acceleration;
`ifdef IMPULSE_ABSTOL
  abstol       = `IMPULSE_ABSTOL;
`else
  abstol       = `VXR_TOL_ACC;
`endif
endnature

nature Force
  units        = "N";
  access       = F;
`ifdef FORCE_ABSTOL
  abstol       = `FORCE_ABSTOL;
`else
  abstol       = `VXR_TOL_FORCE;
`endif
endnature

discipline kinematic
  potential    Position;
  flow         Force;
enddiscipline

discipline kinematic_v
  potential    Velocity;
  flow         Force;
enddiscipline

// ---- rotational mechanics ------------------------------------------------
`define VXR_TOL_ANGLE     1e-6
`define VXR_TOL_OMEGA     1e-6
`define VXR_TOL_TORQUE    1e-6

nature Angle
  units        = "rads";
  access       = Theta;
  ddt_nature   = Angular_Velocity;
`ifdef ANGLE_ABSTOL
  abstol       = `ANGLE_ABSTOL;
`else
  abstol       = `VXR_TOL_ANGLE;
`endif
endnature

nature Angular_Velocity
  units        = "rads/s";
  access       = Omega;
  ddt_nature   = Angular_Acceleration;
  idt_nature   = Angle;
`ifdef ANGULAR_VELOCITY_ABSTOL
  abstol       = `ANGULAR_VELOCITY_ABSTOL;
`else
  abstol       = `VXR_TOL_OMEGA;
`endif
endnature

nature Angular_Acceleration
  units        = "rads/s^2";
  access       = Alpha;
  idt_nature   = Angular_Velocity;
`ifdef ANGULAR_ACCELERATION_ABSTOL
  abstol       = `ANGULAR_ACCELERATION_ABSTOL;
`else
  abstol       = `VXR_TOL_OMEGA;
`endif
endnature

nature Angular_Force
  units        = "N*m";
  access       = Tau;
`ifdef ANGULAR_FORCE_ABSTOL
  abstol       = `ANGULAR_FORCE_ABSTOL;
`else
  abstol       = `VXR_TOL_TORQUE;
`endif
endnature

discipline rotational
  potential    Angle;
  flow         Angular_Force;
enddiscipline

discipline rotational_omega
  potential    Angular_Velocity;
  flow         Angular_Force;
enddiscipline

// Further disciplines belong in a model's own include file, not here, so
// that every model of the project sees the same set.

`endif
