#include "jet/Error.h"
