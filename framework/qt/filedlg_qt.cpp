// CFileDialog over QFileDialog (Qt's own dialog rather than a desktop portal: the same everywhere,
// and its widgets can be driven by tests offscreen).
#include "qt_internal.h"

#include "../filedlg.h"

#include <QApplication>
#include <QFileDialog>

namespace {

// Qt's filter form: "Description (patterns)" with the patterns separated by spaces.
QStringList NameFilters(const std::string& filter) {
    QStringList filters;
    for (const auto& [description, patterns] : CFileDialog::ParseFilter(filter.c_str())) {
        QString name = afx_detail::ToQString(description.c_str());
        QString spaced = afx_detail::ToQString(patterns.c_str()).replace(';', ' ');
        filters << (name.contains('(') ? name : name + " (" + spaced + ")");
    }
    return filters;
}

} // namespace

INT_PTR CFileDialog::DoModal() {
    m_strPath = "";
    QWidget* owner =
        m_pParent && m_pParent->Impl() ? m_pParent->Impl()->widget.data() : QApplication::activeWindow();
    QPointer<QWidget> before = QApplication::activeWindow();
    QFileDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(m_bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(m_bOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(m_dwFlags & OFN_OVERWRITEPROMPT));
    if (!m_strDefExt.empty()) dialog.setDefaultSuffix(afx_detail::ToQString(m_strDefExt.c_str()));
    QStringList filters = NameFilters(m_strFilter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!m_strFileName.empty()) dialog.selectFile(afx_detail::ToQString(m_strFileName.c_str()));
    dialog.setWindowModality(Qt::ApplicationModal);
    int result = dialog.exec();
    afx_detail::ActivateAfterModal(owner, before);
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return IDCANCEL;
    m_strPath = dialog.selectedFiles().first().toUtf8().constData();
    return IDOK;
}
