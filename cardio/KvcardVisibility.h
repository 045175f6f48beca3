// The one switch that makes a kvcard symbol visible outside the module; the
// suite builds with hidden visibility, so only what carries this is exported.
#pragma once

#define KVCARD_EXPORT __attribute__((visibility("default")))
