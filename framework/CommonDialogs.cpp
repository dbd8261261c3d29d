// Message boxes and file dialogs, with the test hooks that answer them instead of a person.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "framework/Afx.h"
#include "framework/FileFilter.h"
#include "framework/ModuleResources.h"
#include "framework/TestSeam.h"

namespace {
FrameworkTestHooks g_hooks;
}

void SetFrameworkTestHooks(const FrameworkTestHooks& hooks) { g_hooks = hooks; }

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT)
{
    const CWinApp* app = AfxGetApp();
    const char* caption = app && app->m_pszAppName ? app->m_pszAppName : "";
    if (g_hooks.messageBox)
        return g_hooks.messageBox(lpszText, caption, nType);
    CWnd* main = AfxGetMainWnd();
    return MessageBoxA(main ? main->GetSafeHwnd() : nullptr, lpszText, caption, nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    return AfxMessageBox(LoadResString(nIDPrompt).c_str(), nType, nIDHelp);
}

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt, LPCSTR lpszFileName, DWORD dwFlags,
                         LPCSTR lpszFilter, CWnd*)
    : m_bOpen(bOpenFileDialog), m_defExt(lpszDefExt ? lpszDefExt : ""), m_fileName(lpszFileName ? lpszFileName : ""),
      m_filter(lpszFilter ? lpszFilter : "")
{
    m_ofn.Flags = dwFlags;
    m_ofn.lpstrInitialDir = nullptr;
}

std::string CFileDialog::GetPathName() const { return m_result; }

INT_PTR CFileDialog::DoModal()
{
    const std::string initialDir = m_ofn.lpstrInitialDir ? m_ofn.lpstrInitialDir : "";
    std::string path;
    if (g_hooks.fileDialog) {
        if (g_hooks.fileDialog(m_bOpen, m_filter, initialDir, path) != IDOK)
            return IDCANCEL;
        m_result = WithDefaultExtension(path, m_defExt);
        return IDOK;
    }
    if (!qApp)
        return IDCANCEL;
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(m_bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(m_bOpen && (m_ofn.Flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(QtNameFilters(m_filter));
    if (!initialDir.empty())
        dialog.setDirectory(QString::fromUtf8(initialDir.c_str()));
    if (!m_fileName.empty())
        dialog.selectFile(QString::fromUtf8(m_fileName.c_str()));
    std::string ext = m_defExt;
    if (!ext.empty() && ext[0] == '.')
        ext.erase(0, 1);
    dialog.setDefaultSuffix(QString::fromUtf8(ext.c_str()));
    // The overwrite question is asked by the dialog itself only when asked for.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(m_ofn.Flags & OFN_OVERWRITEPROMPT));
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return IDCANCEL;
        const QFileInfo chosen(dialog.selectedFiles().first());
        if ((m_ofn.Flags & OFN_PATHMUSTEXIST) && !chosen.absoluteDir().exists())
            continue;
        if ((m_ofn.Flags & OFN_FILEMUSTEXIST) && !chosen.exists())
            continue;
        m_result = WithDefaultExtension(chosen.absoluteFilePath().toStdString(), m_defExt);
        return IDOK;
    }
}
