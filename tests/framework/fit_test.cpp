// The program's three dialog templates (copies of their rows) in the dialog face: every text of a
// static or a button fits its box, a one-line static never wraps, and the sizes stay those of
// "MS Sans Serif" 8 (base units 6x13). Without the face, DejaVu Sans Condensed stands in.
#include "helpers.h"

#include <afxwin.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <qt/qt_access.h>

#include <gtest/gtest.h>

namespace {

enum : UINT { IDD_ABOUT = 100, IDD_MAIN = 102, IDD_PORT = 129, IDI_PROGRAM = 128 };

const DialogItemTemplate kMainItems[] = {
    {IDOK, "Button", "OK", 182, 7, 50, 14, 0x50010001},
    {1006, "Edit", "", 193, 84, 40, 14, 0x50810080},
    {1007, "Edit", "", 75, 7, 40, 14, 0x50810080},
    {-1, "Static", "X:", 181, 90, 8, 8, 0x50020000},
    {-1, "Static", "Y:", 63, 13, 8, 8, 0x50020000},
    {1008, "Edit", "", 207, 184, 25, 14, 0x50010880},
    {1009, "Edit", "", 62, 184, 40, 14, 0x50010880},
    {-1, "Static", "Left Button (B1): ", 7, 184, 53, 8, 0x50020000},
    {-1, "Static", "Right Button (B0):", 147, 184, 57, 8, 0x50020000},
    {1004, "Button", "TILT", 7, 7, 34, 10, 0x50020009},
    {1005, "Button", "DVM", 7, 20, 34, 10, 0x50000009},
};
const DialogTemplate kMain{"Korvane", 0, 0, 239, 199, 0x90C800C0, 0x00040000, "MS Sans Serif", 8, kMainItems};

const DialogItemTemplate kAboutItems[] = {
    {-1, "Static", "#128", 11, 17, 20, 20, 0x50000003},
    {-1, "Static", "Korvane Version 1.0", 40, 10, 119, 8, 0x50020080},
    {-1, "Static", "Sensor board console", 40, 25, 119, 8, 0x50020000},
    {IDOK, "Button", "OK", 178, 7, 50, 14, 0x50030001},
};
const DialogTemplate kAbout{"About Korvane", 0, 0, 235, 55, 0x80C800C0, 0, "MS Sans Serif", 8, kAboutItems};

const DialogItemTemplate kPortItems[] = {
    {IDOK, "Button", "OK", 129, 7, 50, 14, 0x50010001},
    {-1, "Static", "Unable to open port.  Please enter a new COM ", 19, 29, 150, 8, 0x50020000},
    {-1, "Static", "port number and click OK.", 20, 41, 83, 8, 0x50020000},
    {1001, "Edit", "", 74, 53, 40, 14, 0x50810080},
    {IDCANCEL, "Button", "Terminate Program", 94, 74, 85, 14, 0x50010000},
};
const DialogTemplate kPort{"Port Selection Dialog", 0, 0,         186, 95, 0x80C800C0, 0,
                           "MS Sans Serif",         8, kPortItems};

// The About box's icon static needs an icon; one colour is enough here.
const IconPaletteEntry kPalette[] = {{'g', RGB(0, 128, 0)}};
#define G32 "gggggggggggggggggggggggggggggggg"
#define G16 "gggggggggggggggg"
const char* const kBig[] = {G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32,
                            G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32, G32};
const char* const kSmall[] = {G16, G16, G16, G16, G16, G16, G16, G16, G16, G16, G16, G16, G16, G16, G16, G16};
#undef G32
#undef G16
const IconResource kIcon{kPalette, {32, kBig}, {16, kSmall}};

const DialogResource kDialogs[] = {{IDD_ABOUT, &kAbout}, {IDD_MAIN, &kMain}, {IDD_PORT, &kPort}};
const IconResourceEntry kIcons[] = {{IDI_PROGRAM, &kIcon}};
const ResourceTable kTable{kDialogs, kIcons, {}};
ResourceRegistration g_registration{kTable};

// One text control: its dialog, its text, the text's width in the dialog face and the box's width.
struct FitRow {
    UINT dialog;
    const char* text;
    int textPx;
    int boxPx;
};
const FitRow kRows[] = {
    {IDD_MAIN, "OK", 15, 75},
    {IDD_MAIN, "X:", 10, 12},
    {IDD_MAIN, "Y:", 10, 12},
    {IDD_MAIN, "Left Button (B1): ", 80, 80},
    {IDD_MAIN, "Right Button (B0):", 84, 86},
    {IDD_MAIN, "TILT", 23, 51},
    {IDD_MAIN, "DVM", 24, 51},
    {IDD_ABOUT, "Korvane Version 1.0", 96, 179},
    {IDD_ABOUT, "Sensor board console", 103, 179},
    {IDD_ABOUT, "OK", 15, 75},
    {IDD_PORT, "OK", 15, 75},
    {IDD_PORT, "Unable to open port.  Please enter a new COM ", 224, 225},
    {IDD_PORT, "port number and click OK.", 123, 125},
    {IDD_PORT, "Terminate Program", 89, 128},
};

// The text a control shows, and the rectangle its style draws that text in.
QString ShownText(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    return qobject_cast<QAbstractButton*>(control)->text();
}

QRect TextArea(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) return label->contentsRect();
    auto* button = qobject_cast<QAbstractButton*>(control);
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement area = qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                              : qobject_cast<QCheckBox*>(button)  ? QStyle::SE_CheckBoxContents
                                                                  : QStyle::SE_PushButtonContents;
    return button->style()->subElementRect(area, &option, button);
}

bool IsTextControl(QWidget* control) {
    auto* label = qobject_cast<QLabel*>(control);
    return (label && label->pixmap().isNull()) || qobject_cast<QAbstractButton*>(control);
}

const FitRow* FindRow(UINT dialog, const QString& text) {
    for (const FitRow& row : kRows) {
        if (row.dialog == dialog && text == row.text) return &row;
    }
    return nullptr;
}

// Builds dialog `id` and checks each of its text controls against its row; returns how many it checked.
int CheckDialog(UINT id) {
    CDialog dlg(id);
    if (!dlg.Create()) return -1;
    EXPECT_EQ(QFontInfo(AfxQtWidget(&dlg)->font()).family().toStdString(), "MS Sans Serif");
    int checked = 0;
    for (QWidget* control : dlg.Impl()->items) {
        if (!IsTextControl(control)) continue;
        QString text = ShownText(control);
        SCOPED_TRACE(testing::Message() << "dialog " << id << ", \"" << text.toStdString() << '"');
        const FitRow* row = FindRow(id, text);
        if (!row) {
            ADD_FAILURE() << "no row";
            continue;
        }
        ++checked;
        int textPx = control->fontMetrics().horizontalAdvance(text);
        EXPECT_EQ(textPx, row->textPx);
        EXPECT_EQ(control->width(), row->boxPx);
        EXPECT_LE(textPx, TextArea(control).width()) << "cut off";
        auto* label = qobject_cast<QLabel*>(control);
        EXPECT_TRUE(!label || !label->wordWrap()) << "a one-line box";
    }
    return checked;
}

} // namespace

TEST(DialogFont, EveryStaticAndButtonTextOfTheProgramsTemplatesFitsItsBox) {
    const std::pair<UINT, int> counts[] = {{IDD_MAIN, 7}, {IDD_ABOUT, 3}, {IDD_PORT, 4}};
    int total = 0;
    for (auto [id, count] : counts) {
        EXPECT_EQ(CheckDialog(id), count) << "dialog " << id;
        total += count;
    }
    EXPECT_EQ(total, static_cast<int>(std::size(kRows))) << "every row measured";
    CDialog main(IDD_MAIN);
    ASSERT_TRUE(main.Create());
    EXPECT_EQ(AfxQtWidget(&main)->size(), QSize(359, 323)) << "239x199 DLU at 6x13 base units";
}

TEST(DialogFont, WithoutTheTemplateFaceDejaVuSansCondensedStandsInAndOneLineSaysSo) {
    testing::internal::CaptureStderr();
    bool loaded = afx_detail::LoadDialogFace("/nonexistent/ms_sans_serif.ttf");
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("fonts-wine"), std::string::npos) << said;
    EXPECT_NE(said.find("DejaVu Sans Condensed"), std::string::npos) << said;
    for (bool face : {false, true}) {
        SCOPED_TRACE(face ? "face loaded again" : "stand-in");
        EXPECT_EQ(face && afx_detail::LoadDialogFace(afx_detail::kDialogFaceFile), face);
        CDialog main(IDD_MAIN);
        ASSERT_TRUE(main.Create());
        QWidget* w = AfxQtWidget(&main);
        EXPECT_EQ(QFontInfo(w->font()).family().toStdString(),
                  face ? "MS Sans Serif" : "DejaVu Sans Condensed");
        EXPECT_EQ(w->size(), QSize(359, 323)) << "the same base units";
        auto* left = qobject_cast<QLabel*>(main.Impl()->items[7]);
        EXPECT_EQ(left->text().toStdString(), "Left Button (B1): ");
        EXPECT_FALSE(left->wordWrap());
        int textPx = left->fontMetrics().horizontalAdvance(left->text());
        EXPECT_TRUE(face ? textPx <= 80 : textPx > 80) << textPx << " px in a box of 80";
    }
}
