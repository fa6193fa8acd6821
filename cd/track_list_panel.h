// The track list panel of the CD window: lstTracks (number, name and length of each track, from
// the disc's CD-Text when it has any) and the disc's artist and album. A click on a row plays
// it, also a click on the row already selected. Window thread only.
#pragma once

#include <QObject>
#include <functional>

#include "cd/cd_session.h"

class QLineEdit;
class QListWidget;

namespace cd {

class TrackListDelegate;

struct TrackListWidgets {
    QListWidget* lstTracks;
    TrackListDelegate* trackDelegate;
    QLineEdit* txtCDArtist;
    QLineEdit* txtCDAlbum;
};

class TrackListPanel : public QObject {
    Q_OBJECT
  public:
    // `play` starts the track of a clicked row.
    TrackListPanel(CdSession& session, const TrackListWidgets& widgets,
                   std::function<void(int)> play, QObject* parent);

    void LoadTrackList();
    void LoadTrackListFromCDText(const char* block, int tracks);
    void SetTrackListTabStops();
    // The selected row, -1 for none.
    int selectedRow() const;
    int count() const;
    void clear();
    // Selects `row` without playing it.
    void selectQuietly(int row);
    void setEnabled(bool enabled);

    // A disc whose track list failed (track count or CD-Text) is not asked again by the timer
    // until the door has been seen open or another drive is chosen.
    bool failed() const { return failed_; }
    void forgetFailure() { failed_ = false; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void lstTracks_Click();

    CdSession& session_;
    TrackListWidgets w_;
    std::function<void(int)> play_;
    bool failed_ = false;
    int rowBeforePress_ = -1;
    QObject* viewport_ = nullptr;  // the list's viewport, whose presses the filter watches
};

}  // namespace cd
