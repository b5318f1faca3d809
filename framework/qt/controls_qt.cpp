// Controls of a dialog template as Qt widgets.
#include "qt_internal.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "../winapp.h"

namespace {

// Windows leaves about 3 px between a radio or check box and its text; Qt's styles leave more,
// which clips labels that fit their template width on Windows.
constexpr const char* kTightIndicator = "spacing: 3px;";

bool IsClass(const DialogItemTemplate& item, const char* name) {
    return item.windowClass && strcasecmp(item.windowClass, name) == 0;
}

// A static's text as Windows shows it: '&' marks an access key and is hidden, "&&" is one '&'.
QString StaticText(const char* text, DWORD style) {
    QString raw = afx_detail::ToQString(text);
    if (style & SS_NOPREFIX) return raw;
    QString shown;
    for (int i = 0; i < raw.size(); ++i) {
        if (raw[i] == '&' && i + 1 < raw.size())
            ++i;
        else if (raw[i] == '&')
            continue;
        shown += raw[i];
    }
    return shown;
}

QWidget* MakeStatic(const DialogItemTemplate& item, QWidget* parent) {
    auto* label = new QLabel(parent);
    if ((item.style & SS_TYPEMASK) == SS_ICON) {
        const char* name = item.text ? item.text : "";
        UINT id = name[0] == '#' ? static_cast<UINT>(std::strtoul(name + 1, nullptr, 10)) : 0;
        CWinApp* app = AfxGetApp();
        HICON icon = app ? app->LoadIcon(id) : nullptr;
        label->setPixmap(afx_detail::IconPixmap(icon, true));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    label->setText(StaticText(item.text, item.style));
    label->setTextFormat(Qt::PlainText);
    DWORD align = item.style & SS_TYPEMASK;
    Qt::Alignment h = align == SS_CENTER  ? Qt::AlignHCenter
                      : align == SS_RIGHT ? Qt::AlignRight
                                          : Qt::AlignLeft;
    label->setAlignment(h | Qt::AlignTop);
    return label;
}

QWidget* MakeEdit(const DialogItemTemplate& item, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame((item.style & WS_BORDER) != 0);
    if (item.style & ES_READONLY) {
        // Windows draws a read-only field on the dialog's face colour, not on the white of input.
        edit->setReadOnly(true);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
    }
    edit->setText(afx_detail::ToQString(item.text));
    return edit;
}

QWidget* MakeButton(const DialogItemTemplate& item, QWidget* parent) {
    QString text = afx_detail::ToQString(item.text);
    switch (item.style & BS_TYPEMASK) {
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
        auto* radio = new QRadioButton(text, parent);
        radio->setAutoExclusive(false); // exclusivity comes from the WS_GROUP group (QButtonGroup)
        radio->setStyleSheet(kTightIndicator);
        return radio;
    }
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX: {
        auto* check = new QCheckBox(text, parent);
        check->setStyleSheet(kTightIndicator);
        return check;
    }
    default: {
        auto* push = new QPushButton(text, parent);
        push->setDefault((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        return push;
    }
    }
}

QWidget* MakeControl(const DialogItemTemplate& item, QWidget* parent) {
    if (IsClass(item, "Button")) return MakeButton(item, parent);
    if (IsClass(item, "Edit")) return MakeEdit(item, parent);
    if (IsClass(item, "Static")) return MakeStatic(item, parent);
    std::fprintf(stderr, "dialog control class \"%s\" is not supported; shown as an empty area\n",
                 item.windowClass ? item.windowClass : "");
    return new QWidget(parent);
}

// A text static wraps at word boundaries, but one whose box is a single line high has no second line
// to show: its text stays on the line (clipped at the box's edge) rather than losing its last word.
void SetWrapping(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setWordWrap(label->height() >= 2 * label->fontMetrics().height());
}

// Button clicks become WM_COMMAND with BN_CLICKED, as a Windows button notifies its dialog.
void ConnectClicks(WndImpl* impl, QWidget* control, int id) {
    auto* button = qobject_cast<QAbstractButton*>(control);
    if (!button || id < 0) return;
    QObject::connect(button, &QAbstractButton::clicked, button, [impl, id] {
        impl->Send(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0);
    });
}

// Auto radio buttons of one WS_GROUP group are mutually exclusive.
void GroupRadios(WndImpl* impl, const DialogTemplate& tmpl) {
    QButtonGroup* group = nullptr;
    for (size_t i = 0; i < tmpl.items.size(); ++i) {
        if (tmpl.items[i].style & WS_GROUP) group = nullptr;
        auto* radio = qobject_cast<QRadioButton*>(impl->items[i]);
        if (!radio || (tmpl.items[i].style & BS_TYPEMASK) != BS_AUTORADIOBUTTON) continue;
        if (!group) {
            group = new QButtonGroup(impl->widget);
            impl->groups.push_back(group);
        }
        group->addButton(radio);
    }
}

// Tab order is template order over the WS_TABSTOP controls; the others take focus only by click.
void SetTabOrder(WndImpl* impl, const DialogTemplate& tmpl) {
    QWidget* previous = nullptr;
    for (size_t i = 0; i < tmpl.items.size(); ++i) {
        QWidget* w = impl->items[i];
        bool tabStop = (tmpl.items[i].style & WS_TABSTOP) != 0;
        if (qobject_cast<QLabel*>(w)) continue;
        w->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        if (!tabStop) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

} // namespace

namespace afx_detail {

void BuildControls(WndImpl* impl, const DialogTemplate& tmpl, QSize base) {
    for (const DialogItemTemplate& item : tmpl.items) {
        QWidget* control = MakeControl(item, impl->widget);
        control->setGeometry(DluToPixels(QRect(item.x, item.y, item.cx, item.cy), base));
        SetWrapping(control);
        control->setEnabled((item.style & WS_DISABLED) == 0);
        control->setVisible((item.style & WS_VISIBLE) != 0);
        ConnectClicks(impl, control, item.id);
        control->installEventFilter(impl->widget);
        impl->items.push_back(control);
    }
    GroupRadios(impl, tmpl);
    SetTabOrder(impl, tmpl);
}

} // namespace afx_detail
