#include "tests/utility/pass_fixture.h"
