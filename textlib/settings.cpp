#include "textlib.h"

int tab_width = 8;
