#include "cd/track_list_panel.h"

#include <QEvent>
#include <QLineEdit>
#include <QListWidget>

#include "cd/cd_messages.h"
#include "cd/track_list_delegate.h"
#include "disc/basscd.h"
#include "platform/platform.h"
#include "rip/track_list.h"

namespace cd {

TrackListPanel::TrackListPanel(CdSession& session, const TrackListWidgets& widgets,
                               std::function<void(int)> play, QObject* parent)
    : QObject(parent), session_(session), w_(widgets), play_(std::move(play)) {
    viewport_ = w_.lstTracks->viewport();
    viewport_->installEventFilter(this);
    connect(w_.lstTracks, &QListWidget::itemSelectionChanged, this,
            &TrackListPanel::lstTracks_Click);
    connect(w_.lstTracks, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        // A click on the row already selected starts it again.
        const int row = w_.lstTracks->row(item);
        if (row >= 0 && row == rowBeforePress_) play_(row);
    });
}

void TrackListPanel::LoadTrackList() {
    w_.lstTracks->clear();
    TrackListing list = readTrackList(session_.currentDrive);
    switch (list.outcome) {
        case TrackListing::Outcome::NotReady:
            return;
        case TrackListing::Outcome::TrackCountFailed:
            failed_ = true;  // before the box: the timer must not ask again meanwhile
            platform::message(CdText::tr("Error retreiving number of tracks.").toStdString(),
                              kAppTitle);
            return;
        case TrackListing::Outcome::CdTextFailed:
            failed_ = true;
            ReportRoutineError(kModule, "LoadTrackListFromCDText", list.error.number,
                               list.error.description);
            return;
        case TrackListing::Outcome::Listed:
            break;
    }
    w_.txtCDArtist->setText(QString::fromUtf8(list.artist));
    w_.txtCDAlbum->setText(QString::fromUtf8(list.album));
    for (const std::string& row : list.rows) w_.lstTracks->addItem(QString::fromUtf8(row));
}

void TrackListPanel::LoadTrackListFromCDText(const char* block, int tracks) {
    CdTextTables tables;
    RoutineError error;
    if (!parseCdText(block, tracks, tables, error)) {
        failed_ = true;
        ReportRoutineError(kModule, "LoadTrackListFromCDText", error.number, error.description);
        return;
    }
    w_.txtCDArtist->setText(QString::fromUtf8(tables.performers[0]));
    w_.txtCDAlbum->setText(QString::fromUtf8(tables.titles[0]));
    const DWORD drive = DWORD(session_.currentDrive);
    for (const std::string& row : buildRows(tracks, &tables, [drive](int i) {
             return int64_t(BASS_CD_GetTrackLength(drive, DWORD(i)));
         }))
        w_.lstTracks->addItem(QString::fromUtf8(row));
}

void TrackListPanel::SetTrackListTabStops() {
    w_.trackDelegate->setTabStops({});
    w_.trackDelegate->setTabStops({15, -235});
    w_.lstTracks->viewport()->update();
}

int TrackListPanel::selectedRow() const {
    const auto selected = w_.lstTracks->selectedItems();
    return selected.isEmpty() ? -1 : w_.lstTracks->row(selected.front());
}

int TrackListPanel::count() const {
    return w_.lstTracks->count();
}

void TrackListPanel::clear() {
    w_.lstTracks->clear();
}

void TrackListPanel::selectQuietly(int row) {
    w_.lstTracks->blockSignals(true);
    w_.lstTracks->setCurrentRow(row);
    w_.lstTracks->blockSignals(false);
}

void TrackListPanel::setEnabled(bool enabled) {
    w_.lstTracks->setEnabled(enabled);
}

void TrackListPanel::lstTracks_Click() {
    const int row = selectedRow();
    if (row >= 0) play_(row);
}

bool TrackListPanel::eventFilter(QObject* watched, QEvent* event) {
    // The viewport as it was when the filter was installed: the list may be half destroyed here.
    if (watched == viewport_ && event->type() == QEvent::MouseButtonPress)
        rowBeforePress_ = selectedRow();
    return QObject::eventFilter(watched, event);
}

}  // namespace cd
