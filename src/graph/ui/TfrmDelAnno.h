#pragma once

#include <QDialog>
#include <QLocale>
#include <vector>

#include "graph/Annotations.h"

class QPushButton;
class QTableWidget;

namespace kl516 {

// "Erase Annotation": the window's annotations as rows (NO, Time, Contents), any number of them
// selected, and Delete (enabled once a row is listed) or Cancel. Stays on top, centred on the
// screen.
class TfrmDelAnno : public QDialog {
    Q_OBJECT
  public:
    TfrmDelAnno(const std::vector<AnnotationRow>& rows, const QLocale& locale,
                QWidget* parent = nullptr);

    // The table indexes of the annotations on the selected rows, top to bottom.
    std::vector<int> selectedAnnotations() const;

    QTableWidget* StringGrid1;
    QPushButton *BitBtn1, *BitBtn2;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::vector<AnnotationRow> rows_;
};

}  // namespace kl516
