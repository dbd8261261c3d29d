// The Wizard-97 sheet window: header band or watermark, the page area, an etched line
// and the Back / Next (Finish) / Cancel row.
#pragma once

#include <QDialog>
#include <QEventLoop>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <map>
#include <memory>

#include "framework/Afx.h"
#include "framework/DialogTemplate.h"
#include "framework/DialogUnits.h"

class SheetWindow;

// The Qt side of CPropertySheetEx: window, page creation, navigation, buttons.
struct CSheetImpl {
    explicit CSheetImpl(CPropertySheetEx* owner) : m_owner(owner) {}
    ~CSheetImpl();

    bool Create();
    void DestroyWindow(bool notifyOwner);
    void End(INT_PTR result);

    // The four buttons, as a person presses them.
    void PressBack();
    void PressNext();
    void PressFinish();
    void PressCancel();

    void PostButtons(DWORD flags);
    void ApplyButtons(DWORD flags);
    DWORD ButtonsState() const;
    bool IsInterior(int index) const;

    CPropertySheetEx* m_owner;
    QPointer<SheetWindow> m_window;
    int m_current = -1;
    bool m_closed = false;
    INT_PTR m_result = IDCANCEL;
    DWORD m_buttons = PSWIZB_BACK | PSWIZB_NEXT;
    QEventLoop* m_loop = nullptr;
    bool m_busy = false;            // a page's handler works
    bool m_cancelPressed = false;   // Cancel was pressed meanwhile, and no one took it yet
    std::map<int, std::string> m_captions;   // page index -> template caption

    // Shows the page index, or the next one in direction step whose OnSetActive agrees.
    bool GoTo(int index, int step);

private:
    // The sheet is busy while a page's handler and the page change after it run; at the end
    // what is pending is taken in, and a Cancel pressed meanwhile that no one took is
    // pressed again.
    class Busy {
    public:
        explicit Busy(CSheetImpl& sheet);
        ~Busy();

    private:
        CSheetImpl& m_sheet;
    };
    bool ActivatePage(int index);
    int IndexOfTemplate(LRESULT id) const;
    void Layout();

    QSize m_pageArea;
    int m_headerHeight = 58;
};

class SheetWindow : public QDialog {
public:
    explicit SheetWindow(CSheetImpl* sheet);

    QPushButton* back;
    QPushButton* next;
    QPushButton* finish;
    QPushButton* cancel;
    QImage header, watermark;
    int headerHeight = 58;
    QSize pageArea;

    void reject() override;   // Esc and the close box: Cancel

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    CSheetImpl* m_sheet;
};
