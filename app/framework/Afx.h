#pragma once
// Everything of the framework layer. No Qt header comes in through here.

#include "AfxApp.h"
#include "AfxBars.h"
#include "AfxCore.h"
#include "AfxDefs.h"
#include "AfxDialog.h"
#include "AfxDoc.h"
#include "AfxFile.h"
#include "AfxPaint.h"
#include "AfxString.h"
#include "AfxWnd.h"
