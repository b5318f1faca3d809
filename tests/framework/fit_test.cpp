// The dialog face: the program's tightest labels (copies of their template rows) fit their boxes in
// "MS Sans Serif" 8 (base units 6x13), a one-line static never wraps, and without the face DejaVu
// Sans Condensed stands in at the same base units, with one line on stderr saying so.
#include "helpers.h"

namespace {

enum : UINT { IDD_FIT = 9300 };

// Rows of the main window, the port dialog and the main window's radio group, at their positions:
// the tightest label, the longest, a radio button and a push button.
const DialogItemTemplate kItems[] = {
    {-1, "Static", "Left Button (B1): ", 7, 184, 53, 8, 0x50020000},
    {-1, "Static", "Unable to open port.  Please enter a new COM ", 19, 29, 150, 8, 0x50020000},
    {1004, "Button", "TILT", 7, 7, 34, 10, 0x50020009},
    {IDCANCEL, "Button", "Terminate Program", 94, 74, 85, 14, 0x50010000},
};
const DialogTemplate kFit{"Fit", 0, 0, 239, 199, 0x90C800C0, 0x00040000, "MS Sans Serif", 8, kItems};
const DialogResource kDialogs[] = {{IDD_FIT, &kFit}};
const ResourceTable kTable{kDialogs, {}, {}};
ResourceRegistration g_registration{kTable};

// Each item's box width, and its text's width in the dialog face and in the stand-in, in template order.
const struct {
    int box, face, standIn;
} kWidths[] = {{80, 80, 85}, {225, 224, 232}, {51, 23, 19}, {128, 89, 94}};

// The rectangle the control's style draws its text in.
QRect TextArea(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) return label->contentsRect();
    auto* button = qobject_cast<QAbstractButton*>(control);
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement area =
        qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents;
    return button->style()->subElementRect(area, &option, button);
}

} // namespace

TEST(DialogFont, TheTightestLabelsFitInTheTemplateFaceAndDejaVuSansCondensedStandsInWithoutIt) {
    for (bool face : {false, true}) {
        testing::internal::CaptureStderr();
        const char* file = face ? afx_detail::kDialogFaceFile : "/nonexistent/ms_sans_serif.ttf";
        const bool loaded = afx_detail::LoadDialogFace(file);
        const std::string said = testing::internal::GetCapturedStderr();
        CDialog dlg(IDD_FIT);
        ASSERT_TRUE(dlg.Create());
        QWidget* w = AfxQtWidget(&dlg);
        // 239x199 DLU at 6x13 base units; without the face one line says what to install.
        EXPECT_EQ(
            (std::tuple{loaded, std::count(said.begin(), said.end(), '\n'),
                        said.find("fonts-wine") != std::string::npos,
                        said.find("DejaVu Sans Condensed") != std::string::npos,
                        QFontInfo(w->font()).family().toStdString(), w->size()}),
            (std::tuple{face, face ? 0L : 1L, !face, !face,
                        std::string(face ? "MS Sans Serif" : "DejaVu Sans Condensed"), QSize(359, 323)}))
            << said;
        for (size_t i = 0; i < std::size(kItems); ++i) {
            QWidget* control = dlg.Impl()->items[i];
            auto* label = qobject_cast<QLabel*>(control);
            const QString text = label ? label->text() : qobject_cast<QAbstractButton*>(control)->text();
            const int textPx = control->fontMetrics().horizontalAdvance(text);
            // One line in the box, and not cut off in the face.
            EXPECT_EQ((std::tuple{text.toStdString(), !label || !label->wordWrap(), control->width(), textPx,
                                  !face || textPx <= TextArea(control).width()}),
                      (std::tuple{std::string(kItems[i].text), true, kWidths[i].box,
                                  face ? kWidths[i].face : kWidths[i].standIn, true}))
                << (face ? "face loaded" : "stand-in");
        }
    }
}
