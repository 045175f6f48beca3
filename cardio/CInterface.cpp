// CInterface construction and the operations shared by both buses.
#include "CInterface.h"

namespace murmex::cardio {

CInterface::CInterface() = default;

CInterface::~CInterface() = default;

}  // namespace murmex::cardio
