#pragma once
// The Qt side of the framework's windows, for the Qt backend itself, tests of what only
// widgets do, and benchmarks of the paint path. The program never includes this.

#include "framework/Afx.h"

#include <QImage>

class QWidget;
class QMainWindow;
class QAction;

// The widget of a window (null before Create or after DestroyWindow).
QWidget* AfxGetWidget(const CWnd* pWnd);
QMainWindow* AfxGetMainWindow(const CFrameWnd* pFrame);

// Menu items and toolbar buttons are QActions whose data() holds the command id.
QAction* AfxFindAction(const QWidget* pRoot, UINT nID);

// The same expansion as AfxExpandDib into a QImage (made RGB32 of the source's size).
void AfxExpandDibToImage(const DibView& src, QImage& image);
// How often this window's paint cache has been rebuilt.
std::uint64_t AfxPaintCacheConversions(const CWnd* pWnd);
