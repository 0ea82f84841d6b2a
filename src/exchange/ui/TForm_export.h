#pragma once
// 导出数据: which records (the list as shown, or all) and which output (a
// workbook or a text file). The dialog only asks; whoever owns the database
// runs the export when exportRequested arrives and reports progress back.
#include <QDialog>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace qv {

enum class ExportRange { CurrentList, AllRecords };
enum class ExportFormat { Workbook, Text };

class TForm_export : public QDialog {
    Q_OBJECT
public:
    explicit TForm_export(QWidget* parent);

    ExportRange range() const;
    ExportFormat format() const;
    // 0..100; repaints the bar at once, so a caller that runs the export in
    // the same thread still shows it moving.
    void setProgress(int percent);
    // The line under the bar: the full path of the file just written, which
    // the desktop may have no program to open.
    void showWrittenFile(const QString& path);

    QGroupBox* GroupBox1 = nullptr;  // 记录范围
    QRadioButton* scur = nullptr;    // 当前列表
    QRadioButton* sall = nullptr;    // 所有纪录
    QGroupBox* GroupBox2 = nullptr;  // 数据类型
    QRadioButton* exceltype = nullptr;  // EXCEL表格
    QRadioButton* texttype = nullptr;   // 文本文件
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* writtenFile = nullptr;   // 已导出到：the full path
    QPushButton* Button1 = nullptr;  // 确定
    QPushButton* Button2 = nullptr;  // 退出

signals:
    // 确定 was pressed. The export runs inside the connected slot; until it
    // returns the dialog's controls are disabled and the dialog cannot close.
    void exportRequested(qv::ExportRange range, qv::ExportFormat format);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;  // FormShow: the bar back to 0

private:
    void Button1Click();
    void Button2Click();
    void setRunning(bool running);
    void fitHeight();

    bool m_running = false;
    int m_baseHeight = 0;
};

}  // namespace qv
