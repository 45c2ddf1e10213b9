#include "util/text.h"
const char kSharedEmptyText[1] = "";
