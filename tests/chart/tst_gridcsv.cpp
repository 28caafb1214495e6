#include "griddata.h"
#include "gridcsv.h"
#include "gridlayout.h"
#include "texts.h"

#include <QTest>

using namespace vorn;
using namespace vorn::chart;

class GridCsvTest : public QObject {
    Q_OBJECT

private slots:
    void gridAsCsv_data()
    {
        QTest::addColumn<QString>("key");       // detail row's key text
        QTest::addColumn<qint32>("language");
        QTest::addColumn<QString>("csv");

        // Durations are hidden, so every row also checks that hidden columns are left out.
        const QString header = "Row,Machine/Part,Planned Start,Planned Finish,Actual Start\r\nGroup,P1,06:00:00,07:00:00,\r\n";
        QTest::newRow("comma-and-quote-quoted-quote-doubled")
            << "M1, \"left\"" << LanguageEnglish << header + "Operation,\"M1, \"\"left\"\"\",06:00:00,06:30:00,06:10:00\r\n";
        QTest::newRow("line-break-quoted") << "M1\nM2" << LanguageEnglish << header + "Operation,\"M1\nM2\",06:00:00,06:30:00,06:10:00\r\n";
        QTest::newRow("chinese-kinds-utf8")
            << "车床" << LanguageChinese
            << "行,Machine/Part,Planned Start,Planned Finish,Actual Start\r\n组,P1,06:00:00,07:00:00,\r\n工序,车床,06:00:00,06:30:00,06:10:00\r\n";
    }

    void gridAsCsv()
    {
        QFETCH(QString, key);
        QFETCH(qint32, language);
        // Columns 0..8: outline, key, planned start/finish/duration, actual
        // start/finish/duration, one time-scale column; durations hidden.
        GridData grid;
        grid.setRows(2);
        grid.setCols(9);
        SetLeadingHeaderTexts(grid);
        grid.setText(0, 8, "6");
        grid.setText(1, 8, "0");
        for (const int c : {4, 6, 7})
            grid.setColHidden(c, true);
        grid.addItem(u"\tP1\t06:00:00\t07:00:00");
        grid.setIsNode(2, true);
        grid.addItem(QString(u'\t' + key + QStringLiteral("\t06:00:00\t06:30:00\t00:30:00\t06:10:00")));
        grid.setIsNode(3, true);
        grid.setRowOutlineLevel(3, 1);
        SetLanguage(language);
        const QByteArray bytes = GridCsv(grid);
        SetLanguage(LanguageEnglish);
        QTEST(QString::fromUtf8(bytes), "csv");
    }
};

QTEST_GUILESS_MAIN(GridCsvTest)
#include "tst_gridcsv.moc"
