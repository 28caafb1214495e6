#include "texts.h"
// Implementation in progress.
