// The package unit of CorvelRichEditControl5, the companion package: it has
// no behaviour beyond registering the module while it is loaded. It links
// nothing but the C and C++ run-time, and nothing of CorvelTest5.
#pragma once

namespace CorvelRichEditControl5 {

// Counted: the module is registered by the first start and unregistered by
// the matching last stop.
void InitializeUnit();
void FinalizeUnit();
bool Registered();

}  // namespace CorvelRichEditControl5
