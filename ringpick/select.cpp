#include "select.h"
