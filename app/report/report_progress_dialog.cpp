#include "report/report_progress_dialog.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace lx9 {

ReportOutcome writeReportWithProgress(QWidget* parent, const ReportRequest& request) {
    // No cancel button: a report is quick, and the file appears whole or not at all anyway.
    QProgressDialog window(QStringLiteral("正在生成报告…"), QString(), 0, 1000, parent);
    window.setWindowTitle(QStringLiteral("生成报告"));
    window.setWindowModality(Qt::WindowModal);
    window.setMinimumDuration(0);
    window.setMinimumSize(480, 120);
    window.setValue(0);
    const ReportOutcome outcome =
        writeReport(request, [&window](int done, int total, const std::string& what) {
            window.setMaximum(total);
            window.setValue(done);
            window.setLabelText(QString::fromStdString(what));
            QCoreApplication::processEvents();
        });
    window.setValue(window.maximum());
    return outcome;
}

}  // namespace lx9
