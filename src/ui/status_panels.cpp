#include "ui/status_panels.h"

#include "ui/qt_text.h"

namespace tessaly {

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);
  texts_ = {Text(), Gbk("总页数："), Text(), Gbk("搜索页数："), Text()};
  int left = 0;
  for (std::size_t panel = 0; panel < labels_.size(); ++panel) {
    QLabel& label = labels_[panel];
    // Placed by hand rather than through addWidget: the bar's own layout
    // would add margins and spacing and move the panels off their edges.
    label.setParent(this);
    label.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label.setTextFormat(Qt::PlainText);
    label.setGeometry(left, 0, kPanelWidths[panel], 20);
    label.setText(ToQString(texts_[panel]));
    left += kPanelWidths[panel];
  }
}

void StatusPanels::SetPanel(int panel, const Text& text) {
  if (panel < 0 || panel >= kPanelCount) return;
  const auto at = static_cast<std::size_t>(panel);
  texts_[at] = text;
  labels_[at].setText(ToQString(text));
}

Text StatusPanels::Panel(int panel) const {
  if (panel < 0 || panel >= kPanelCount) return {};
  return texts_[static_cast<std::size_t>(panel)];
}

}  // namespace tessaly
