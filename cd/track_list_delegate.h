// Draws the CD window's track rows with two tab stops, as the list box does: the number at the
// left, the name from the first stop, and the bracketed length right-aligned to the second stop.
// Stops are in dialog units (a quarter of the font's average character width); a negative stop
// right-aligns the text that follows it.
#pragma once

#include <QStyledItemDelegate>
#include <vector>

namespace cd {

class TrackListDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // No stops: TAB advances to the next multiple of 32 dialog units (the list box's default).
    void setTabStops(std::vector<int> dialogUnits) { stops_ = std::move(dialogUnits); }
    const std::vector<int>& tabStops() const { return stops_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    std::vector<int> stops_;
};

}  // namespace cd
