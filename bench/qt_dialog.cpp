// The memory reference: a minimal Qt 6 dialog of the main window's kind (four read-only fields, two
// radio buttons, OK and Cancel) whose 100 ms timer writes new text into the fields and asks for a
// repaint, as a polling dialog does. It runs until it is ended (or for SECONDS when given).
//
//   bench_qt_dialog [SECONDS]
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdlib>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    QLineEdit* fields[4];
    for (QLineEdit*& field : fields) {
        field = new QLineEdit(&dialog);
        field->setReadOnly(true);
        form->addRow("Reading:", field);
    }
    layout->addLayout(form);
    layout->addWidget(new QRadioButton("TILT", &dialog));
    layout->addWidget(new QRadioButton("DVM", &dialog));
    layout->addWidget(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog));
    dialog.resize(418, 323);

    int count = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ++count;
        for (QLineEdit* field : fields) field->setText(QString::number(count % 256));
        dialog.update();
    });
    poll.start(100);
    if (argc > 1) QTimer::singleShot(static_cast<int>(std::atof(argv[1]) * 1000), &app, &QApplication::quit);
    dialog.show();
    return app.exec();
}
