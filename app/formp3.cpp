#include "app/formp3.h"

#include <QCoreApplication>
#include <QFont>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

namespace {
QPointer<formp3> g_help;
}  // namespace

const char* formp3::helpText() {
    // Translated where it is shown.
    return QT_TR_NOOP(
        R"(               Quorvin Audio Tools 1.0 Vocal Remover, Pitch & Tempo Changer 
Win 98/ME/2000/XP  DIRECTX8 or higher.
Release: December 2026

WHAT IT IS
Quorvin Audio Tools changes the speed, the tempo and the key of your audio files, and can take
the lead voice out of a song, all without altering the song's structure. Load an MP3 or WAV file,
listen to it while you move the controls, and when it sounds right let the program write the
result to a new file. On a 1800 MHz processor with 256 MB of memory a whole song is processed in
about ten seconds. The finished file can be burnt to CD with any burning program.

WHO IT IS FOR
- DJs who want two songs at the same tempo, to mix them without a jump in speed.
- Singers who want a song in a key that suits their voice, or who want to sing over a song
  whose lead voice has been removed (karaoke).
- Anyone transcribing a dictation or an interview: slow it down and type at your own pace.
- Musicians studying a virtuoso passage: slow it down to hear every note, then speed it up again
  as you learn it.

WHAT IT CAN DO
- Change the key of an MP3 or WAV file from -8 to +8 semitones without altering its speed.
- Change the tempo from -60% to +60% without changing the pitch.
- Cancel or reduce the main voice of a stereo song.
- Show the tempo of the music in beats per minute, and the position of each beat.
- Shape the sound with a seven-band graphic equalizer.
- Extract the tracks of an audio CD to WAV (or WMA) files.
- Encode any WAV file to MP3, and normalise the level of a WAV file.

- RIPPING:
Open "Load From  CD Audio" from the Tools menu. Choose the drive, pick a track in the list and
press the extraction button: the track is read bit for bit and saved as a WAV file, or encoded to
a WMA file at the bit rate you choose, with title, artist and album tags. Tracks can also be
played, paused, faded out and skipped from the same window.

-PITCH-
The pitch slider moves the key of the song up or down in semitones, from -8 to +8, while the
speed stays the same. Every step of 2 is a whole tone. Click the number under the slider to
bring the key back to the original.

-TEMPO-
The tempo slider makes the song faster or slower, from -60% to +60%, while the key stays the
same. The BPM display follows the tempo, so you can set a song to the exact BPM you need. Click
the number under the slider to bring the tempo back to the original.

-PRACTICE-
Beside the pitch, the cents box moves it by -50 to +50 cents on top of the semitones; "A =" takes
the A the recording is tuned to (415 to 466 Hz) and sets semitones and cents so that it sounds at
A = 440 Hz. The key display names the key heard with the whole shift. PAUSE (key P) holds the song
where it is and goes on from there with the same tempo, pitch, effects and loop.
A loop set with [ and ] (or dragged over the waveform) is the current one of the song's list of
loops: "+" starts a new one, "-" takes it out, typing in the list renames it, and choosing one
plays it. "Marker" (key M) marks the play position; the markers list goes to a marker, or to
where you stopped last time. Loops, markers and that position are kept for each song, even when
the file is renamed or moved, and come back when you load it again.
The speed trainer plays a loop from its start tempo and, every so many passes, raises (or lowers)
the tempo by its step up to the target; the change always comes as the loop starts again. The
count-in plays 1 to 8 clicks at the song's tempo on its beat before PLAY, and with "each pass"
before every pass of the loop. The waveform grows with the window; the mouse wheel zooms it
around the pointer, and the loop's ends can be dragged.

-Voice Canceller-
The voice canceller removes everything that sits in the centre between the left and the right
channel. In most studio recordings that is the lead voice (and often the bass and the kick drum
too, which is why the equalizer curve that comes with it lifts the low frequencies). It works
only on STEREO sources: a mono file has no left and right to compare, and the program tells you
so. Use the "Gain Audio" slider to bring the level back up after the voice has gone.

-EQUALIZER-
Seven sliders shape the sound at 80, 200, 1500, 4000, 7500, 10000 and 12000 Hz: the left ones
are the bass, the middle ones the voice and the instruments, the right ones the treble. Push a
slider up to raise its band by up to 10 dB, down to lower it by up to 10 dB. Switch the equalizer
on with its button; "Actived" shows that it is working. When the voice canceller is switched on
the sliders take a curve that gives back the bass and the brightness it removes; tick "Peaking
Equalizer" to apply that curve.

-BPM-
The BPM display shows the tempo of the music in beats per minute, measured over the first thirty
seconds when you press PLAY and again around the new place whenever you move the position slider.
It always shows the BPM at the current tempo setting. Tick "BPM by period of seconds:" to measure
it again every few seconds while the song plays (type the number of seconds in the box), and tick
"Enable / Disable showing Beat pos" to see the time of every beat as it passes.

-SAVING-
PROCESS renders the song with every setting you chose into a work file of its own (in
~/.cache/quorvin). When it has finished, the program says "Done!" and asks where to save the
result. A WAV original is saved as WAV; an MP3 original is encoded to MP3 at its own bit rate (at
least 128 kbit/s), or at the rate chosen under Options, "Mp3 Setup". A name you type ending in
.flac, .ogg, .opus or .mp3 is saved in that format. If you cancel the save dialog, the work file
stays until you load another song or end the program.

Procedure:
1. Load a file with "Load Audio File".
2. Press PLAY.
3. Adjust the equalizer, the PITCH, the TEMPO and the VOICE CANCELLER while you listen.
4. Press STOP, then press PROCESS: after a few seconds you obtain the modified song, ready to be
   saved under a name of your choice (as WAV, or as MP3 when the original was an MP3).

-AUDIO PANEL-
The output volume slider acts on the loudspeakers only, not on the conversion: the processed
file is written at full level whatever the volume shows. The mixer button opens the system's
volume control.

INSTRUCTIONS
The program has been tested on computers with processors up to 1800 MHz and 512 MB of memory.
At least 1 GB of memory is recommended for long files. Processing runs as fast as the computer
allows; the window stays usable while it works, and the progress bar shows how far it has come.

WARNING
This program is used at the user's own risk. The authors accept no responsibility for any damage
to files, equipment or data that may follow from its use. A user who does not accept these terms
is not to use the program.
)");
}

formp3::formp3(QWidget* owner) : QDialog(owner) {
    setObjectName("formp3");
    setWindowTitle(tr("Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    Text2 = new QPlainTextEdit(this);
    Text2->setObjectName("Text2");
    Text2->setReadOnly(true);
    Text2->setAccessibleName(tr("Help text"));
    Text2->setFont(QFont("Tahoma"));
    Text2->setPlainText(tr(helpText()));
    Text2->setMinimumSize(640, 420);
    Command1 = new QPushButton(tr("Ok"), this);
    Command1->setObjectName("Command1");
    connect(Command1, &QPushButton::clicked, this, [this] {
        Text2->hide();
        close();
    });
    auto* v = new QVBoxLayout(this);
    v->addWidget(Text2);
    v->addWidget(Command1, 0, Qt::AlignRight);
    Text2->setVisible(true);
}

formp3* formp3::showSingle(QWidget* owner) {
    if (!g_help) g_help = new formp3(owner);
    g_help->setModal(false);
    g_help->show();
    g_help->raise();
    g_help->activateWindow();
    return g_help;
}

formp3* formp3::current() {
    return g_help;
}

}  // namespace app
