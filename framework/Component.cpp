#include "framework/Component.h"

// The component base's meta-object lives in its own object file, so that a program which
// uses components but no windows does not link the window toolkit.
#include "moc_Component.cpp"
