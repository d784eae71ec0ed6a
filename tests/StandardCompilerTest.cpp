#include "chart/StandardCompiler.h"

#include <gtest/gtest.h>
