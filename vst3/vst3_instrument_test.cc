#include "vst3/vst3_instrument.h"
