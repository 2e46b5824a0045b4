#pragma once

#include "device/QuietDeviceHost.h"
