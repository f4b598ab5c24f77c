#pragma once
// Everything of the framework's core. No platform header comes in through here.

#include "framework/AfxApp.h"
#include "framework/AfxBars.h"
#include "framework/AfxCore.h"
#include "framework/AfxDefs.h"
#include "framework/AfxDialog.h"
#include "framework/AfxDoc.h"
#include "framework/AfxFile.h"
#include "framework/AfxMenu.h"
#include "framework/AfxRes.h"
#include "framework/AfxSafeSave.h"
#include "framework/AfxString.h"
#include "framework/AfxWnd.h"
