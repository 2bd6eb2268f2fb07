/* ztequationmanager: the whole public interface. */
#ifndef ZTEQUATIONMANAGER_H
#define ZTEQUATIONMANAGER_H

#include "equation.h"
#include "manager.h"
#include "memory.h"
#include "operator.h"
#include "palette.h"
#include "parameter.h"
#include "subscriber.h"
#include "trigger.h"
#include "types.h"
#include "value.h"

#endif
