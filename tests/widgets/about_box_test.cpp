// The About box: its texts and layout, the mail link handed to the desktop, and the ways it
// closes.
#include "frmAbout.h"
#include "platform/services.h"
#include "recording_services.h"
#include "twips.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

class AboutBoxTest : public QObject {
    Q_OBJECT

private:
    host::testing::RecordingDesktopServices m_desktop;
    std::unique_ptr<host::ScopedServices> m_services;

private slots:
    void init() {
        m_desktop = {};
        m_services = std::make_unique<host::ScopedServices>(nullptr, &m_desktop, nullptr);
    }
    void cleanup() { m_services.reset(); }

    void showsItsTextsAtTheirPlaces() {
        frmAbout box;
        QCOMPARE(box.windowTitle(), QStringLiteral("关于 CHM Quorlin"));
        QCOMPARE(box.size(), QSize(layout::twips(4320), layout::twips(2280)));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QCOMPARE(box.lblTitle->text(), QStringLiteral("CHM Quorlin V1.1"));
        QCOMPARE(box.Label1->text(), QStringLiteral("软件作者：Quorlin 团队"));
        QCOMPARE(box.Label3->text(), QStringLiteral("E-mail："));
        QCOMPARE(box.lblVersion->text(), QStringLiteral("quorlin@example.com"));
        QCOMPARE(box.Label2->text(), QStringLiteral("版权所有：quorlin (Quorlin 团队)"));
        QCOMPARE(box.cmdOK->text(), QStringLiteral("确定"));
        QVERIFY(box.cmdOK->isDefault());
        QCOMPARE(box.picIcon->pixmap().size(), QSize(32, 32));
        QCOMPARE(box.lblVersion->pos(), layout::twipRect(2160, 960, 1935, 225).topLeft());
        // Every text shows whole, whatever the desktop's font.
        for (QLabel* label : {box.lblTitle, box.Label1, box.Label3, box.lblVersion, box.Label2}) {
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            QVERIFY(label->geometry().right() < box.width());
        }
        QCOMPARE(box.cmdOK->geometry(), layout::twipRect(2520, 1800, 1467, 345));

        // The address looks like a link.
        QVERIFY(box.lblVersion->font().bold());
        QVERIFY(box.lblVersion->font().underline());
        QCOMPARE(box.lblVersion->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(box.lblVersion->cursor().shape(), Qt::PointingHandCursor);

        // For a look at the box: QUORLIN_SCREENSHOT_DIR=folder keeps a picture of it.
        if (const QByteArray folder = qgetenv("QUORLIN_SCREENSHOT_DIR"); !folder.isEmpty()) {
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            QVERIFY(box.grab().save(QString::fromLocal8Bit(folder) + "/about.png"));
        }
    }

    void theAddressOpensAMailMessageEveryTime() {
        frmAbout box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        m_desktop.answer = false; // no mail program: nothing shows, the box stays
        QTest::mouseClick(box.lblVersion, Qt::LeftButton);
        QTest::mouseClick(box.lblVersion, Qt::LeftButton);
        QCOMPARE(m_desktop.urls, (std::vector<std::string>{"mailto:quorlin@example.com?subject=",
                                                           "mailto:quorlin@example.com?subject="}));
        QVERIFY(box.isVisible());
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
    }

    void okEnterAndEscapeClose_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("click") << 0;
        QTest::newRow("enter") << 1;
        QTest::newRow("escape") << 2;
    }
    void okEnterAndEscapeClose() {
        QFETCH(int, how);
        frmAbout box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        if (how == 0) {
            QTest::mouseClick(box.cmdOK, Qt::LeftButton);
        } else {
            QTest::keyClick(&box, how == 1 ? Qt::Key_Return : Qt::Key_Escape);
        }
        QVERIFY(!box.isVisible());
        QVERIFY(m_desktop.urls.empty());
    }
};

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
