// The About box: its texts fit, the mail link goes to the desktop, and the ways it closes.
#include "frmAbout.h"
#include "recording_services.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

class AboutBoxTest : public QObject {
    Q_OBJECT

    host::testing::RecordingDesktopServices m_desktop;
    std::unique_ptr<host::ScopedServices> m_services;
    std::unique_ptr<frmAbout> m_box;

private slots:
    void init() {
        m_desktop = {};
        m_services = std::make_unique<host::ScopedServices>(nullptr, &m_desktop, nullptr);
        m_box = std::make_unique<frmAbout>();
        m_box->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_box.get()));
    }
    void cleanup() {
        m_box.reset();
        m_services.reset();
    }

    void everyTextShowsWhole() {
        for (QLabel* label :
             {m_box->lblTitle, m_box->Label1, m_box->Label3, m_box->lblVersion, m_box->Label2}) {
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            QVERIFY(label->geometry().right() < m_box->width());
        }
    }

    void theAddressOpensAMailMessageEveryTime() {
        m_desktop.answer = false; // no mail program: nothing shows, the box stays
        QTest::mouseClick(m_box->lblVersion, Qt::LeftButton);
        QTest::mouseClick(m_box->lblVersion, Qt::LeftButton);
        QCOMPARE(m_desktop.urls, (std::vector<std::string>{"mailto:quorlin@example.com?subject=",
                                                           "mailto:quorlin@example.com?subject="}));
        QVERIFY(m_box->isVisible());
    }

    void okEnterAndEscapeClose_data() {
        QTest::addColumn<int>("key"); // 0: a click on OK
        QTest::newRow("click") << 0;
        QTest::newRow("enter") << int(Qt::Key_Return);
        QTest::newRow("escape") << int(Qt::Key_Escape);
    }
    void okEnterAndEscapeClose() {
        QFETCH(int, key);
        if (key == 0) {
            QTest::mouseClick(m_box->cmdOK, Qt::LeftButton);
        } else {
            QTest::keyClick(m_box.get(), Qt::Key(key));
        }
        QVERIFY(!m_box->isVisible());
    }
};

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
