#include "framework/SheetWindow.h"

#include <QApplication>
#include <QPainter>

#include "framework/DialogBuilder.h"
#include "framework/ModuleResources.h"
#include "framework/ResourceImages.h"
#include "framework/WndImpl.h"

namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }

// MAKEINTRESOURCE values carry the number in the pointer.
uint16_t ResourceNumber(const char* p)
{
    const auto v = reinterpret_cast<uintptr_t>(p);
    return v <= 0xFFFF ? static_cast<uint16_t>(v) : 0;
}

QImage LoadBitmapResource(uint16_t id)
{
    if (id == 0)
        return {};
    const ResEntry* e = ModuleResources().Find(RT_BITMAP_ID, id, ResourceLanguage());
    return e ? ImageFromDib(e->data, e->size) : QImage();
}

void DrawEtchedLine(QPainter& p, int y, int width)
{
    p.setPen(QColor(160, 160, 160));
    p.drawLine(0, y, width, y);
    p.setPen(Qt::white);
    p.drawLine(0, y + 1, width, y + 1);
}

}  // namespace

// ---- window ------------------------------------------------------------------------------

SheetWindow::SheetWindow(CSheetImpl* sheet) : QDialog(nullptr), m_sheet(sheet)
{
    const bool japanese = ResourceLanguage() == LANG_JAPANESE_JP;
    back = new QPushButton(japanese ? Q("< 戻る(&B)") : Q("< &Back"), this);
    next = new QPushButton(japanese ? Q("次へ(&N) >") : Q("&Next >"), this);
    finish = new QPushButton(japanese ? Q("完了") : Q("Finish"), this);
    cancel = new QPushButton(japanese ? Q("キャンセル") : Q("Cancel"), this);
    connect(back, &QPushButton::clicked, this, [this] { m_sheet->PressBack(); });
    connect(next, &QPushButton::clicked, this, [this] { m_sheet->PressNext(); });
    connect(finish, &QPushButton::clicked, this, [this] { m_sheet->PressFinish(); });
    connect(cancel, &QPushButton::clicked, this, [this] { m_sheet->PressCancel(); });
    finish->hide();
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(false);
}

void SheetWindow::reject() { m_sheet->PressCancel(); }

void SheetWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const bool interior = m_sheet->IsInterior(m_sheet->m_current);
    if (interior) {
        p.fillRect(0, 0, width(), headerHeight, Qt::white);
        if (!header.isNull()) {
            const int margin = std::max(0, (headerHeight - header.height()) / 2);
            p.drawImage(width() - header.width() - margin, margin, header);
        }
        DrawEtchedLine(p, headerHeight, width());
    } else {
        p.fillRect(0, 0, width(), pageArea.height(), Qt::white);
        // The watermark runs down the left side of the page area and no further.
        if (!watermark.isNull()) {
            p.save();
            p.setClipRect(0, 0, width(), pageArea.height());
            p.drawImage(0, 0, watermark);
            p.restore();
        }
    }
    DrawEtchedLine(p, pageArea.height(), width());
}

// ---- the sheet's workings ------------------------------------------------------------------

CSheetImpl::~CSheetImpl() { DestroyWindow(false); }

bool CSheetImpl::IsInterior(int index) const
{
    CPropertyPageEx* page = m_owner->GetPage(index);
    return page && !(page->m_psp.dwFlags & PSP_HIDEHEADER);
}

int CSheetImpl::IndexOfTemplate(LRESULT id) const
{
    for (int i = 0; i < m_owner->GetPageCount(); ++i)
        if (static_cast<LRESULT>(m_owner->GetPage(i)->m_psp.pszTemplate) == id)
            return i;
    return -1;
}

void CSheetImpl::Layout()
{
    // The page area fits the largest template; interior pages lie under the header band.
    SheetWindow* w = m_window;
    DialogFont buttonFont = MakeDialogFont("MS Sans Serif", 8);
    int width = 0, exteriorHeight = 0, interiorHeight = 0;
    for (int i = 0; i < m_owner->GetPageCount(); ++i) {
        auto t = LoadDialogTemplate(static_cast<uint16_t>(m_owner->GetPage(i)->m_psp.pszTemplate));
        if (!t)
            continue;
        if (i == 0)
            buttonFont = FontOfTemplate(*t);
        m_captions[i] = t->title;
        DialogFont f = FontOfTemplate(*t);
        width = std::max(width, f.X(t->cx));
        (IsInterior(i) ? interiorHeight : exteriorHeight) = std::max(IsInterior(i) ? interiorHeight : exteriorHeight, f.Y(t->cy));
    }
    w->header = LoadBitmapResource(ResourceNumber(m_owner->m_psh.pszbmHeader));
    w->watermark = LoadBitmapResource(ResourceNumber(m_owner->m_psh.pszbmWatermark));
    m_headerHeight = std::max(58, w->header.height() + 4);
    m_pageArea = QSize(std::max(width, w->watermark.width()),
                       std::max(exteriorHeight, m_headerHeight + 2 + interiorHeight));
    w->headerHeight = m_headerHeight;
    w->pageArea = m_pageArea;

    const int bw = buttonFont.X(50), bh = buttonFont.Y(14), margin = buttonFont.X(7);
    const int rowTop = m_pageArea.height() + 2 + buttonFont.Y(7);
    const int right = m_pageArea.width() - margin;
    for (QPushButton* b : {w->back, w->next, w->finish, w->cancel})
        b->setFont(buttonFont.font);
    w->cancel->setGeometry(right - bw, rowTop, bw, bh);
    w->next->setGeometry(right - bw - margin - bw, rowTop, bw, bh);
    w->finish->setGeometry(w->next->geometry());
    w->back->setGeometry(w->next->x() - bw, rowTop, bw, bh);
    w->setFixedSize(m_pageArea.width(), rowTop + bh + buttonFont.Y(7));
}

bool CSheetImpl::Create()
{
    if (m_window)
        return true;
    if (!qApp || m_owner->GetPageCount() == 0)
        return false;
    m_closed = false;
    m_result = IDCANCEL;
    m_current = -1;
    m_window = new SheetWindow(this);
    m_owner->Attach(new CWndImpl(m_window, WndKind::Sheet, 0, 0));
    Layout();
    ApplyButtons(m_buttons);
    const int start = std::clamp(static_cast<int>(m_owner->m_nStartPage), 0, m_owner->GetPageCount() - 1);
    if (!GoTo(start, 1))
        GoTo(start, -1);
    m_window->show();
    // The wizard takes the keyboard when it appears, with or without a window manager to
    // hand it over, and shows where the focus is (showing the window forgets that).
    m_window->activateWindow();
    m_window->setAttribute(Qt::WA_KeyboardFocusChange);
    return true;
}

void CSheetImpl::DestroyWindow(bool notifyOwner)
{
    if (!m_window)
        return;
    if (notifyOwner)
        m_owner->OnDestroy();
    delete m_window.data();   // takes the pages' widgets along; their objects detach
    m_current = -1;
}

void CSheetImpl::End(INT_PTR result)
{
    if (m_closed)
        return;
    m_closed = true;
    m_result = result;
    if (m_window) {
        m_window->hide();
        // The window goes after the handler that ended the sheet has returned.
        QMetaObject::invokeMethod(m_window, [this] { DestroyWindow(true); }, Qt::QueuedConnection);
    }
    if (m_loop)
        m_loop->exit(0);
}

bool CSheetImpl::ActivatePage(int index)
{
    CPropertyPageEx* page = m_owner->GetPage(index);
    if (!page->IsCreated()) {
        auto t = LoadDialogTemplate(static_cast<uint16_t>(page->m_psp.pszTemplate));
        if (!t)
            return false;
        BuiltDialog built = BuildDialog(*t, m_window);
        built.impl->parentWnd = m_owner;
        built.widget->hide();
        built.widget->move(0, IsInterior(index) ? m_headerHeight + 2 : 0);
        if (!IsInterior(index))
            built.widget->resize(m_pageArea.width(), m_pageArea.height());
        page->SetSheet(m_owner);
        page->Attach(built.impl);
        page->OnInitDialog();   // once for each window the page gets
    }
    return page->OnSetActive() != FALSE;
}

bool CSheetImpl::GoTo(int index, int step)
{
    for (int i = index; i >= 0 && i < m_owner->GetPageCount(); i += step) {
        if (!ActivatePage(i))
            continue;   // the page declined: on in the same direction, as Windows does
        CPropertyPageEx* old = m_owner->GetPage(m_current);
        if (old && m_current != i && old->Impl())
            old->Impl()->widget->hide();
        m_current = i;
        CPropertyPageEx* page = m_owner->GetPage(i);
        page->Impl()->widget->show();
        m_window->setWindowTitle(QString::fromUtf8(m_captions[i].c_str()));
        m_window->update();
        // The focus goes to the page's first tab stop (a radio group's checked button),
        // else to the default button, and it is shown: a person working with the keyboard
        // sees where it went.
        QWidget* first = nullptr;
        for (CWndImpl* c : page->Impl()->controls)
            if ((c->style & WS_TABSTOP_STYLE) && c->widget->isEnabled() && c->widget->isVisibleTo(m_window) &&
                c->widget->focusPolicy() != Qt::NoFocus) {
                first = c->widget;
                break;
            }
        if (first)
            first->setFocus(Qt::TabFocusReason);
        else
            (m_window->next->isVisible() ? m_window->next : m_window->finish)->setFocus(Qt::TabFocusReason);
        m_window->setAttribute(Qt::WA_KeyboardFocusChange);
        return true;
    }
    return false;
}

CSheetImpl::Busy::Busy(CSheetImpl& sheet) : m_sheet(sheet)
{
    m_sheet.m_busy = true;
    m_sheet.m_cancelPressed = false;
}

// What the person did during work that took in no input is dropped as well (a Next clicked
// twice would do the next page's work); a Cancel no one took is pressed again.
CSheetImpl::Busy::~Busy()
{
    if (!m_sheet.m_closed)
        m_sheet.m_owner->PumpWaitingInput();
    m_sheet.m_busy = false;
    if (m_sheet.m_cancelPressed && m_sheet.m_window) {
        m_sheet.m_cancelPressed = false;
        QMetaObject::invokeMethod(m_sheet.m_window, [sheet = &m_sheet] { sheet->PressCancel(); }, Qt::QueuedConnection);
    }
}

void CSheetImpl::PressNext()
{
    CPropertyPageEx* page = m_owner->GetPage(m_current);
    if (!page || m_closed || m_busy)
        return;
    Busy busy(*this);
    const LRESULT result = page->OnWizardNext();
    if (result == -1 || m_closed)
        return;
    const int target = result == 0 ? m_current + 1 : IndexOfTemplate(result);
    if (target < 0 || target >= m_owner->GetPageCount() || !page->OnKillActive())
        return;
    GoTo(target, 1);
}

void CSheetImpl::PressBack()
{
    CPropertyPageEx* page = m_owner->GetPage(m_current);
    if (!page || m_closed || m_busy)
        return;
    Busy busy(*this);
    const LRESULT result = page->OnWizardBack();
    if (result == -1 || m_closed)
        return;
    const int target = result == 0 ? m_current - 1 : IndexOfTemplate(result);
    if (target < 0 || target >= m_owner->GetPageCount() || !page->OnKillActive())
        return;
    GoTo(target, -1);
}

void CSheetImpl::PressFinish()
{
    CPropertyPageEx* page = m_owner->GetPage(m_current);
    if (!page || m_closed || m_busy)
        return;
    Busy busy(*this);
    if (page->OnWizardFinish())
        End(ID_WIZFINISH);
}

void CSheetImpl::PressCancel()
{
    if (m_busy) {
        m_cancelPressed = true;   // heard by the work under way, or pressed again after it
        return;
    }
    CPropertyPageEx* page = m_owner->GetPage(m_current);
    if (!m_closed && (!page || page->OnQueryCancel()))
        End(IDCANCEL);
}

void CSheetImpl::PostButtons(DWORD flags)
{
    if (!m_window) {
        m_buttons = flags;
        return;
    }
    QMetaObject::invokeMethod(m_window, [this, flags] { ApplyButtons(flags); }, Qt::QueuedConnection);
}

void CSheetImpl::ApplyButtons(DWORD flags)
{
    m_buttons = flags;
    if (!m_window)
        return;
    SheetWindow* w = m_window;
    const bool finish = flags & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH);
    // The focus on a button about to be hidden or disabled moves to the default button.
    QWidget* focused = w->focusWidget();
    const bool refocus = focused == w->next || focused == w->finish || focused == w->back;
    w->back->setEnabled(flags & PSWIZB_BACK);
    w->next->setVisible(!finish);
    w->next->setEnabled(flags & PSWIZB_NEXT);
    w->finish->setVisible(finish);
    w->finish->setEnabled(flags & PSWIZB_FINISH);
    QPushButton* def = finish ? w->finish : w->next;
    def->setDefault(true);
    (finish ? w->next : w->finish)->setDefault(false);
    if (refocus && !(focused->isVisibleTo(w) && focused->isEnabled()))
        def->setFocus(Qt::OtherFocusReason);
}

DWORD CSheetImpl::ButtonsState() const
{
    if (!m_window)
        return 0;
    DWORD state = 0;
    if (m_window->back->isEnabled())
        state |= PSWIZB_BACK;
    if (m_window->next->isVisibleTo(m_window) && m_window->next->isEnabled())
        state |= PSWIZB_NEXT;
    if (m_window->finish->isVisibleTo(m_window) && m_window->finish->isEnabled())
        state |= PSWIZB_FINISH;
    return state;
}
