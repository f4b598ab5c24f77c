#pragma once
// The program's resources: its string table, menu, accelerators, about box, images, help page
// and version block, as the framework reads them. The ids are in resource.h.

#include "framework/AfxRes.h"

// Everything, for AfxRegisterResources; the tables live as long as the program.
const AFX_RESOURCES* VellumResources();
