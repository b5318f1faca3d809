// What the trend window asks of the framework: a modeless dialog owned by another window, polylines
// and aligned text on GDI's pixels, and the save-file dialog.
#include "helpers.h"
#include "test_dialog.h"

#include <QFileDialog>

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0), kBlue = qRgb(0, 0, 255);

} // namespace

// Each line of a polyline leaves out its end point, so only the last point is missing; text aligned
// right and bottom ends left of and above its point. EndDialog hides a modeless dialog at once and
// destroys it once the message is done (the program's trend window shows its end with its owner).
TEST(Modeless, OwnedDialogDrawsPolylinesAndAlignedTextAndEndsOnceItsHandlerIsDone) {
    CTestDlg owner, child(&owner);
    ASSERT_TRUE(owner.Create());
    const POINT zig[] = {{10, 10}, {30, 10}, {30, 30}, {50, 50}};
    child.onPaint = [&](CDC& dc) {
        CPen red(PS_SOLID, 1, RGB(255, 0, 0));
        dc.SelectObject(&red);
        dc.Polyline(zig, 4);
        dc.SetTextAlign(TA_RIGHT | TA_BOTTOM);
        dc.SetTextColor(RGB(0, 0, 255));
        dc.TextOut(200, 100, "Ab", 2);
    };
    ASSERT_TRUE(child.Create());
    QWidget* w = AfxQtWidget(&child);
    ASSERT_TRUE(w && w->isVisible());
    EXPECT_EQ(w->parentWidget(), AfxQtWidget(&owner));
    QImage img = w->grab().toImage();
    for (auto [x, y, red] : {std::tuple{10, 10, true},
                             {29, 10, true},
                             {30, 20, true},
                             {30, 30, true},
                             {49, 49, true},
                             {50, 50, false},
                             {9, 10, false},
                             {31, 10, false}})
        EXPECT_EQ(img.pixel(x, y) == kRed, red) << x << "," << y;
    int inside = 0, outside = 0;
    for (int y = 60; y < 120; ++y)
        for (int x = 150; x < 220; ++x) (x < 200 && y < 100 ? inside : outside) += img.pixel(x, y) == kBlue;
    EXPECT_GT(inside, 10);
    EXPECT_EQ(outside, 0);
    child.EndDialog(IDCANCEL);
    EXPECT_FALSE(w->isVisible());
    EXPECT_NE(child.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return child.GetSafeHwnd() == nullptr; }));
}

// The program's save (tests/app/trend_test.cpp) shows a name typed and accepted; here, a cancel.
TEST(FileDialog, ParsesFiltersAndReportsCancel) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(CFileDialog::ParseFilter("A (*.a)|*.a|B|*.b;*.c||"),
              (Pairs{{"A (*.a)", "*.a"}, {"B", "*.b;*.c"}}));
    CFileDialog save(FALSE, "csv", "x.csv", OFN_OVERWRITEPROMPT, "CSV files (*.csv)|*.csv||");
    QTimer closer; // its close box, once it is up
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) files->close();
    });
    closer.start(20);
    EXPECT_EQ(save.DoModal(), IDCANCEL);
    EXPECT_EQ(save.GetPathName(), "");
}
