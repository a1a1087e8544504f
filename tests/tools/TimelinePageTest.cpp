#include "TimelinePage.h"

#include <gtest/gtest.h>
