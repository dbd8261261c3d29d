// The wait cursor: nested, shown as Qt's application override cursor.
#include <QApplication>
#include <QCursor>

#include "framework/Afx.h"
#include "framework/TestSeam.h"

namespace {
int g_depth = 0;
}

void BeginWaitCursor()
{
    ++g_depth;
    if (qApp)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void EndWaitCursor()
{
    if (g_depth == 0)
        return;
    --g_depth;
    if (qApp)
        QApplication::restoreOverrideCursor();
}

int WaitCursorDepth() { return g_depth; }

CWaitCursor::CWaitCursor() { BeginWaitCursor(); }
CWaitCursor::~CWaitCursor() { EndWaitCursor(); }

void CWaitCursor::Restore()
{
    // After a message box the cursor is shown again as the wait cursor.
    if (qApp && g_depth > 0)
        QApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
}
