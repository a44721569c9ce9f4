#pragma once
// The seam between the core and the operating system. Each backend folder
// (linux/, windows/) implements these functions; only one is compiled.
#include "platform/devices.h"
#include "platform/files.h"
#include "platform/output_file.h"
#include "platform/storage_extent.h"
