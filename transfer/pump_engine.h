// Moves propellant once per simulation time step, as the shared state says.
#pragma once

// dt: step length in seconds of simulation time.
void pumpStep(double dt);
