#pragma once

// The information pages' tests use the interface's own waiting helpers.
#include "tests/ui/UiTestSupport.h"
