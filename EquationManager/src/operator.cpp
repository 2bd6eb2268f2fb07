// Operators: the operator registry.
#include "ztequationmanager/operator.h"

extern "C" {

void KVAOP_Init(void) {}
void KVAOP_Exit(void) {}

}  // extern "C"
