// The five-panel status bar: panels laid side by side at fixed widths, each
// panel's right edge the sum of its width and those before it. No size grip.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <array>

#include "text/text.h"

namespace tessaly {

class StatusPanels final : public QStatusBar {
  Q_OBJECT

 public:
  static constexpr int kPanelCount = 5;
  static constexpr std::array<int, kPanelCount> kPanelWidths = {460, 50, 50, 60, 50};

  explicit StatusPanels(QWidget* parent = nullptr);

  // Nothing, or empty text, for a panel that does not exist.
  void SetPanel(int panel, const Text& text);
  Text Panel(int panel) const;
  const QLabel& PanelLabel(int panel) const { return labels_.at(static_cast<std::size_t>(panel)); }

 private:
  std::array<QLabel, kPanelCount> labels_;
  // The texts as last set, so that a read gives back exactly the GBK bytes.
  std::array<Text, kPanelCount> texts_;
};

}  // namespace tessaly
