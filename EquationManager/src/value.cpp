// Values: the value type registry and the Value functions.
#include "ztequationmanager/value.h"

extern "C" {

void KVAV_Init(void) {}
void KVAV_Exit(void) {}

}  // extern "C"
