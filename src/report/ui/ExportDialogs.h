#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace kl516 {

// What File > Export Graph asks: the file (.png, .svg or .pdf) and the picture's size.
struct GraphImageChoice {
    QString path;
    QSize size{1600, 900};
};

// What File > Export Report asks: the PDF file and whether every sample goes in.
struct ReportChoice {
    QString path;
    bool includeSamples = false;
};

// A file name with a Browse button (a save dialog of `filter`) above the dialog's own fields.
class ExportDialog : public QDialog {
    Q_OBJECT
  public:
    ExportDialog(const QString& title, const QString& filter, const QString& path,
                 QWidget* parent = nullptr);
    QString path() const;

    QLineEdit* pathEdit;

  protected:
    void addField(const QString& label, QWidget* field);
    void accept() override;

  private:
    QString filter_;
};

class GraphImageDialog : public ExportDialog {
    Q_OBJECT
  public:
    GraphImageDialog(const GraphImageChoice& choice, QWidget* parent = nullptr);
    GraphImageChoice choice() const;
    QSpinBox *widthBox, *heightBox;
};

class ReportDialog : public ExportDialog {
    Q_OBJECT
  public:
    ReportDialog(const ReportChoice& choice, QWidget* parent = nullptr);
    ReportChoice choice() const;
    QCheckBox* includeSamplesBox;
};

}  // namespace kl516
