// Apart from the rest of bootstrap: each program links the setting it is
// built with (WEBSETUP_HTTPS, 0 or 1).
#include "bootstrap/Setup.h"

bool VendorHttps() { return WEBSETUP_HTTPS != 0; }
