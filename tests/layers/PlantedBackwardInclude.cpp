// Planted: the shared widgets reaching up to the window. Must not compile.
#include "Ksv27mainform.h"
