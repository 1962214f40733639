// IsEmpty and the other matchers GoogleMock keeps apart; here they are all
// in gmock-matchers.h, and this header is kept for the sources that name it.
#pragma once

#include "gmock/gmock-matchers.h"
