#pragma once
// Everything of the framework's core. No platform header comes in through here.

#include "AfxApp.h"
#include "AfxBars.h"
#include "AfxCore.h"
#include "AfxDefs.h"
#include "AfxDialog.h"
#include "AfxDoc.h"
#include "AfxFile.h"
#include "AfxMenu.h"
#include "AfxRes.h"
#include "AfxSafeSave.h"
#include "AfxString.h"
#include "AfxWnd.h"
