#include "sim/sim_camera.h"
