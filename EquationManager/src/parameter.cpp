// Parameters: the parameter type registry and the generic parameter functions.
#include "ztequationmanager/parameter.h"

extern "C" {

void KVAP_Init(void) {}
void KVAP_Exit(void) {}

}  // extern "C"
