#include "frmAbout.h"

#include "modProject.h"
#include "platform/services.h"
#include "qt_host.h"
#include "twips.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

using layout::twipRect;
using layout::twips;

namespace {

// The layout was drawn for narrow Windows fonts. Where the desktop's font is wider, a label
// grows to the box's right edge, and then its font shrinks a little, rather than lose the end
// of its text.
void fitText(QLabel* label, int boxWidth) {
    const int room = boxWidth - label->x();
    if (label->sizeHint().width() > label->width()) {
        label->resize(std::min(label->sizeHint().width(), room), label->height());
    }
    QFont smaller = label->font();
    while (label->sizeHint().width() > label->width() && smaller.pointSizeF() > 7.0) {
        smaller.setPointSizeF(smaller.pointSizeF() - 0.25);
        label->setFont(smaller);
    }
}

} // namespace

frmAbout::frmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    createControls();
    connectHandlers();
}

void frmAbout::createControls() {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("关于 CHM Quorlin"));
    setFixedSize(twips(4320), twips(2280));

    QFont labelFont = font();
    labelFont.setPointSizeF(9.75);
    auto label = [this, &labelFont](const char* name, const QString& text, QRect bounds) {
        auto* control = new QLabel(text, this);
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(bounds);
        control->setFont(labelFont);
        return control;
    };

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(twipRect(360, 240, 540, 540));
    picIcon->setPixmap(QPixmap(QStringLiteral(":/images/quorlin.png")));
    picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblTitle =
        label("lblTitle", QStringLiteral("CHM Quorlin V1.1"), twipRect(1440, 240, 2775, 240));
    Label1 =
        label("Label1", QStringLiteral("软件作者：Quorlin 团队"), twipRect(1440, 600, 2415, 255));
    Label3 = label("Label3", QStringLiteral("E-mail："), twipRect(1440, 960, 735, 255));

    lblVersion = new QLabel(QString::fromLatin1(modProject::kContactAddress), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(twipRect(2160, 960, 1935, 225));
    QFont linkFont = font();
    linkFont.setPointSizeF(9.75);
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    lblVersion->setFont(linkFont);
    QPalette linkColours = lblVersion->palette();
    linkColours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lblVersion->setPalette(linkColours);
    lblVersion->setCursor(Qt::PointingHandCursor);
    lblVersion->installEventFilter(this);

    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(0, twips(1320) - 1, twips(4320), 2);

    Label2 = label("Label2", QStringLiteral("版权所有：quorlin (Quorlin 团队)"),
                   twipRect(1320, 1440, 3015, 255));

    for (QLabel* text : {lblTitle, Label1, Label3, lblVersion, Label2}) {
        fitText(text, width());
    }

    cmdOK = new QPushButton(QStringLiteral("确定"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipRect(2520, 1800, 1467, 345));
    cmdOK->setDefault(true);
    cmdOK->setFocus();
}

void frmAbout::connectHandlers() {
    // Esc reaches reject(), which closes the box the same way.
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::cmdOK_Click() {
    accept();
}

void frmAbout::lblVersion_Click() {
    // A desktop without a mail program takes nothing; the box stays open either way.
    host::desktopServices().openUrl(std::string("mailto:") + modProject::kContactAddress +
                                    "?subject=");
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblVersion && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        lblVersion_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
