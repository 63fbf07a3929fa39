// Scrivlet: reads USB Vendor Info Files. This header declares everything a
// caller needs, including CSafeString, Utf16ToUtf8 and the exception types.
#pragma once

#include <corekit/corekit.h>
#include <scrivlet/vendor_info_file.h>
#include <scrivlet/vif_field.h>
#include <scrivlet/vif_summary.h>
