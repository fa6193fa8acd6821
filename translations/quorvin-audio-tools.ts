<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>QFileDialog</name>
    <message>
        <location filename="../platform/qt_platform.cpp" line="+151"/>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>app::formp3</name>
    <message>
        <location filename="../app/formp3.cpp" line="+18"/>
        <source>               Quorvin Audio Tools 1.0 Vocal Remover, Pitch &amp; Tempo Changer 
Win 98/ME/2000/XP  DIRECTX8 or higher.
Release: December 2026

WHAT IT IS
Quorvin Audio Tools changes the speed, the tempo and the key of your audio files, and can take
the lead voice out of a song, all without altering the song&apos;s structure. Load an MP3 or WAV file,
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
Open &quot;Load From  CD Audio&quot; from the Tools menu. Choose the drive, pick a track in the list and
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
Beside the pitch, the cents box moves it by -50 to +50 cents on top of the semitones; &quot;A =&quot; takes
the A the recording is tuned to (415 to 466 Hz) and sets semitones and cents so that it sounds at
A = 440 Hz. The key display names the key heard with the whole shift. PAUSE (key P) holds the song
where it is and goes on from there with the same tempo, pitch, effects and loop.
A loop set with [ and ] (or dragged over the waveform) is the current one of the song&apos;s list of
loops: &quot;+&quot; starts a new one, &quot;-&quot; takes it out, typing in the list renames it, and choosing one
plays it. &quot;Marker&quot; (key M) marks the play position; the markers list goes to a marker, or to
where you stopped last time. Loops, markers and that position are kept for each song, even when
the file is renamed or moved, and come back when you load it again.
The speed trainer plays a loop from its start tempo and, every so many passes, raises (or lowers)
the tempo by its step up to the target; the change always comes as the loop starts again. The
count-in plays 1 to 8 clicks at the song&apos;s tempo on its beat before PLAY, and with &quot;each pass&quot;
before every pass of the loop. The waveform grows with the window; the mouse wheel zooms it
around the pointer, and the loop&apos;s ends can be dragged.

-Voice Canceller-
The voice canceller removes everything that sits in the centre between the left and the right
channel. In most studio recordings that is the lead voice (and often the bass and the kick drum
too, which is why the equalizer curve that comes with it lifts the low frequencies). It works
only on STEREO sources: a mono file has no left and right to compare, and the program tells you
so. Use the &quot;Gain Audio&quot; slider to bring the level back up after the voice has gone.

-EQUALIZER-
Seven sliders shape the sound at 80, 200, 1500, 4000, 7500, 10000 and 12000 Hz: the left ones
are the bass, the middle ones the voice and the instruments, the right ones the treble. Push a
slider up to raise its band by up to 10 dB, down to lower it by up to 10 dB. Switch the equalizer
on with its button; &quot;Actived&quot; shows that it is working. When the voice canceller is switched on
the sliders take a curve that gives back the bass and the brightness it removes; tick &quot;Peaking
Equalizer&quot; to apply that curve.

-BPM-
The BPM display shows the tempo of the music in beats per minute, measured over the first thirty
seconds when you press PLAY and again around the new place whenever you move the position slider.
It always shows the BPM at the current tempo setting. Tick &quot;BPM by period of seconds:&quot; to measure
it again every few seconds while the song plays (type the number of seconds in the box), and tick
&quot;Enable / Disable showing Beat pos&quot; to see the time of every beat as it passes.

-SAVING-
PROCESS renders the song with every setting you chose into a work file of its own (in
~/.cache/quorvin). When it has finished, the program says &quot;Done!&quot; and asks where to save the
result. A WAV original is saved as WAV; an MP3 original is encoded to MP3 at its own bit rate (at
least 128 kbit/s), or at the rate chosen under Options, &quot;Mp3 Setup&quot;. A name you type ending in
.flac, .ogg, .opus or .mp3 is saved in that format. If you cancel the save dialog, the work file
stays until you load another song or end the program.

Procedure:
1. Load a file with &quot;Load Audio File&quot;.
2. Press PLAY.
3. Adjust the equalizer, the PITCH, the TEMPO and the VOICE CANCELLER while you listen.
4. Press STOP, then press PROCESS: after a few seconds you obtain the modified song, ready to be
   saved under a name of your choice (as WAV, or as MP3 when the original was an MP3).

-AUDIO PANEL-
The output volume slider acts on the loudspeakers only, not on the conversion: the processed
file is written at full level whatever the volume shows. The mixer button opens the system&apos;s
volume control.

INSTRUCTIONS
The program has been tested on computers with processors up to 1800 MHz and 512 MB of memory.
At least 1 GB of memory is recommended for long files. Processing runs as fast as the computer
allows; the window stays usable while it works, and the progress bar shows how far it has come.

WARNING
This program is used at the user&apos;s own risk. The authors accept no responsibility for any damage
to files, equipment or data that may follow from its use. A user who does not accept these terms
is not to use the program.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+117"/>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Help text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Ok</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>app::frmAbout</name>
    <message>
        <location filename="../app/frmAbout.cpp" line="+27"/>
        <source>About Quorvin Audio Tools</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>app::frmWriteWave</name>
    <message>
        <location filename="../app/frmWriteWave.cpp" line="+73"/>
        <source>Quorvin Audio Tools Vers 1.0   www.quorvin-audio.example</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+265"/>
        <source>An incorrect version of BASS.DLL was loaded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Error Code : </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Can&apos;t initialize device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+158"/>
        <source>No volume mixer was found on this system.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>cd::RipPanel</name>
    <message>
        <location filename="../cd/rip_panel.cpp" line="+21"/>
        <source>E&amp;xtract All…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Stop R&amp;ip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+118"/>
        <source>Extract All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-98"/>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-7"/>
        <source>SKIPPED READS (not an exact copy)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>CUT SHORT (the image ends inside the track)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>data track, skipped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>READ FAILED: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>WRITE FAILED: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>stopped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>not ripped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>  TEST AND COPY MISMATCH</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>  test and copy: match</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>  AccurateRip: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Whole disc</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+21"/>
        <source>File names: %N track number (01), %n (1), %t title, %a artist, %A album artist, %d album, %y year, %% a percent sign; &apos;/&apos; makes folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+43"/>
        <source>Read offset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-38"/>
        <source>The drive&apos;s read offset in samples; remembered for this drive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>AccurateRip database file (dBAR-….bin) to verify with</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>A database file downloaded from the address in a rip log: every track is verified against it. Empty: no verification</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&amp;Test and copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Read every track twice and compare the two CRCs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Rip format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Rip file names</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>AccurateRip database file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Test and copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Rip progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Rip status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Ripped tracks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+31"/>
        <source>The file-name template cannot be used: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The tracks cannot be verified: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Extract All Tracks To</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+28"/>
        <source>Ripping…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+50"/>
        <source>Stopping…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+31"/>
        <source>%1 track ripped to %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>%1 tracks ripped to %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Stopped. </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source> Every track was read without skips.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source> Every track is accurate in AccurateRip.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source> NOT every track is accurate in AccurateRip.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source> The log could not be written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source> Log: </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>cd::frmDemo</name>
    <message>
        <location filename="../cd/frmDemo.cpp" line="+29"/>
        <source>CD Ripping</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+110"/>
        <source>&amp;Drive Info &lt;&lt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Drive Info &gt;&gt;</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>files</name>
    <message>
        <location filename="../files/open_error.cpp" line="+25"/>
        <source>it does not exist</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <location filename="../files/temporary_file.cpp" line="+294"/>
        <source>it is a folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>it is a named pipe (FIFO), not a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>it is a device, not a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>it is a socket, not a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>it is not a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+21"/>
        <source>the file cannot be opened (it is missing, or you may not read it)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>it is not a sound file the program can decode (an unknown or damaged format)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>there is not enough memory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>the audio engine cannot read it (error %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>the file cannot be opened: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>its sample rate, %1 Hz, is above the %2 Hz the program can play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>its sample rate, %1 Hz, is below the %2 Hz the program can play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>it has %1 channels, more than the %2 the program can play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>it holds no audio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>the file is empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Cannot open &quot;%1&quot;: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>&quot;%1&quot; is damaged: its audio ends %2 s before the length its header gives</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>&quot;%1&quot; is damaged: %2 s of its audio could not be decoded and are silence</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+15"/>
        <source>&quot;%1&quot; is cut short: its header gives %2 s more than the file holds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>&quot;%1&quot; is cut short: it ends inside a page of its audio, so what came after is lost</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../files/safe_copy.cpp" line="+27"/>
        <location line="+10"/>
        <source>Cannot save &quot;%1&quot;: cannot read &quot;%2&quot;: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../files/temporary_file.cpp" line="-137"/>
        <location filename="../rip/extract.cpp" line="+232"/>
        <source>Cannot write &quot;%1&quot;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+42"/>
        <source>the program is ending</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+26"/>
        <location line="+8"/>
        <source>the file is not open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+23"/>
        <source>nothing was written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+43"/>
        <source>it is not a regular file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>it is write-protected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../files/open_error.cpp" line="-15"/>
        <source>The MP3 is written at %1 kbit/s and %2 Hz: the MP3 encoder&apos;s choice for %3 kbit/s at %4 Hz</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>frmDemo</name>
    <message>
        <location filename="../cd/cd_controls.cpp" line="+32"/>
        <source>&amp;Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>P&amp;ause/Resume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>&amp;Lock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Unlock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>&amp;Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>&amp;Extract</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Fade Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>&amp;Drive Info &gt;&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Pause/Resume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Lock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Unlock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Extract</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Fade Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <location line="+212"/>
        <source>Drive Info</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-208"/>
        <source>Drive can read CD-R media</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read CD-RW media</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read CD-R/RW media &quot;method 2&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read DVD-ROM media</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read DVD-R media</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read DVD-RAM media</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read in &quot;mode 2 form 1&quot; format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read in &quot;mode 2 form 2&quot; format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read multi-session discs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can read CD audio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive supports &quot;stream is accurate&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can be opened / closed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive can be locked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive is locked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Drive is open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <location line="+11"/>
        <location line="+62"/>
        <source>Artist</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-72"/>
        <source>Album Title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Description</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Rating</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Copyright</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Genre</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Year</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>CD drive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Open a disc image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Tracks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+63"/>
        <source>Album</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-62"/>
        <location line="+88"/>
        <source>Volume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-87"/>
        <source>Volume value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+109"/>
        <source>Balance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-108"/>
        <source>Balance value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Track position</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Track position and length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No sound device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>WAV File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>WMA File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>WMA options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+139"/>
        <source>WMA File Tags</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-138"/>
        <location line="+142"/>
        <source>WMA Encoding Bitrate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-141"/>
        <source>Drive information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+177"/>
        <source>Maximum read speed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-176"/>
        <location line="+178"/>
        <source>Drive&apos;s cache size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-177"/>
        <source>Left level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Right level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>WMA tag %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>WMA tag %1 label</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+30"/>
        <source>Select CD Drive : </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Image...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Click Track to Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No sound device: nothing is heard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+51"/>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Track Position</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+17"/>
        <source>CD Extraction</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;WAV File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>W&amp;MA File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../cd/cd_messages.cpp" line="+9"/>
        <source>Error in routine : %1in module : %2<byte value="xd"/>
Error #%3<byte value="xd"/>
%4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source><byte value="xd"/>
<byte value="xd"/>
Error Code : </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location filename="../cd/drives_panel.cpp" line="+75"/>
        <location filename="../cd/playback_panel.cpp" line="+104"/>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../cd/extract_panel.cpp" line="+120"/>
        <location line="+95"/>
        <source>Unable to Create CD Stream!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-89"/>
        <source>WAV File Encoded.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Quorvin Audio tools</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Save WAVE File As</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>File Wave (*.wav)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+28"/>
        <source>Error: Can&apos;t find a codec</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+16"/>
        <source>No WMA bit rate can be chosen because no WMA encoder was found, so the track cannot be extracted to WMA.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+37"/>
        <source>WMA File Encoded. Encoding took %1 seconds.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Saved as &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>WMA Encoding</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../cd/frmDemo.cpp" line="-27"/>
        <source>Error: Couldn&apos;t Initialize Digital Output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Digital output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../cd/playback_panel.cpp" line="-3"/>
        <source>There was an error playing back and Audio CD stream. Most probable cause is the CD drive was opened.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../cd/track_list_panel.cpp" line="+37"/>
        <source>Error retreiving number of tracks.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../cd/drives_panel.cpp" line="-31"/>
        <source>Open a Disc Image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Disc images (*.cue;*.toc;*.nrg)|*.cue;*.toc;*.nrg|All files (*.*)|*.*</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+25"/>
        <source>Cannot open the disc image &quot;%1&quot;: %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>frmWriteWave</name>
    <message>
        <location filename="../app/main_controls.cpp" line="+71"/>
        <location line="+1"/>
        <source>Load Audio File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+521"/>
        <source>Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-520"/>
        <location line="+303"/>
        <source>Player</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-300"/>
        <location line="+518"/>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-517"/>
        <source>Stop Player</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+515"/>
        <location filename="../render/process_panel.cpp" line="+163"/>
        <source>Process</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-514"/>
        <source>Elaborazione</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Loop only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Process renders only the loop chosen in the list of loops, not the whole file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Output Control</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <location line="+507"/>
        <source>Tempo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-504"/>
        <location line="+505"/>
        <source>Pitch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-503"/>
        <source>click to set Tempo Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>click to set Pitch Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>+Tempo+</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>+Pitch+</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+493"/>
        <source>Volume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-486"/>
        <source>Play Position</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source> 00:00 / 00:00</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Time:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Streaming File:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Click to play from there, drag to loop a passage (%1 / %2: 5 s back / on)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+479"/>
        <source>A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-478"/>
        <source>Loop from here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+478"/>
        <source>B</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-477"/>
        <source>Loop up to here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>A–B ✕</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No loop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <location filename="../player/bpm_panel.cpp" line="+159"/>
        <source>BPM: 0.00</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Beat pos: 0.00</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location filename="../player/bpm_panel.cpp" line="+53"/>
        <source>Key:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location filename="../player/bpm_display.cpp" line="+109"/>
        <source>Chord:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>½</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Show half the BPM: the beat is counted twice as fast</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>×2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Show twice the BPM: the beat is counted at its half</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Tap</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Tap along with the beat: from the fourth tap the BPM shown is the detected one at the octave nearest the taps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>BPM by period of seconds:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Enable / Disable showing Beat pos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <location line="+440"/>
        <source>Vocal remover on / off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-439"/>
        <source>Vocal Remover</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+27"/>
        <source>Actived</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-23"/>
        <location line="+435"/>
        <source>Gain Audio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-434"/>
        <location line="+435"/>
        <source>Keep bass</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-433"/>
        <source>Removes the voice only above 150 Hz: the kick drum and the bass stay in the mix</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+432"/>
        <source>Keep stereo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-424"/>
        <source>Both sides</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Left only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Right only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Mono</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>What is heard of a stereo file, and saved by Process: both sides, one side alone (an instrument panned hard to it), or the two mixed to mono</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <location line="+417"/>
        <source>Equalizer on / off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-411"/>
        <source>Samples the equalizer raised past full scale since Play or Process: lower its boost</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+408"/>
        <source>Peaking Equalizer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-402"/>
        <source> 80    200  1500  4000  7500 10000 12000 </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>   Equalizer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Bass</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Middle</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Treble</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Stop the render; nothing is saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>BitRate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>             Player    Audio            WinMixer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>No sound device: nothing is heard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+15"/>
        <location line="+358"/>
        <source>Pause</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-354"/>
        <source>Pause, and go on from there</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Fine pitch in cents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source> ct</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The A the recording is tuned to: the pitch moves it to A = 440 Hz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>A = </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+49"/>
        <source> Hz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-44"/>
        <source>The song&apos;s loops: choose one to play it, type to rename</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>+</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>A new loop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+9"/>
        <source>−</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-8"/>
        <source>Take the loop out of the list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Go to a marker or where you were; type to rename</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location filename="../player/practice_panel.cpp" line="+58"/>
        <location line="+242"/>
        <source>Marker</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>A marker at the play position</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Take the marker chosen out of the list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <location line="+333"/>
        <source>Speed trainer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-331"/>
        <source>On a loop: from the start tempo, a step every so many passes, up to the target</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Start tempo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Step</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Passes per step</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Target tempo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>×</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Clicks before Play at the song&apos;s tempo (0: none)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Count-in: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No count-in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>each pass</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The count-in before each pass of the loop too</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>How much of what sounds from the centre &quot;Keep stereo&quot; takes out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Strength </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>&quot;Keep stereo&quot; leaves what sounds below this alone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&quot;Keep stereo&quot; leaves what sounds above this alone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>to </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+81"/>
        <source>Tempo / Pitch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+25"/>
        <source>BPM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+48"/>
        <source>Equalizer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+71"/>
        <source>&amp;Tools</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;Load From  CD Audio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Wav to Mp3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Normalize</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>E&amp;xit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>&amp;Save Configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>High quality &amp;render</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>High quality &amp;playback</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-17"/>
        <source>Recent &amp;Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-372"/>
        <source>Removes only what sounds from the centre, in the band set below it: instruments panned to a side stay where they are, at their level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+377"/>
        <source>&amp;Options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;Mp3 Setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Process stretches tempo and pitch with Rubber Band&apos;s finer engine: cleaner, and several times slower</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Play stretches tempo and pitch with Rubber Band&apos;s finer engine</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Cancel the render</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Render progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>BPM detection progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Volume mixer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tempo to 0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Pitch to 0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Play position</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Waveform</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Clear the A–B loop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>BPM by period of seconds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>BPM period in seconds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Show beat position</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Half the BPM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Twice the BPM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Tap the beat</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sides heard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Clipped samples</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Mp3 bit rate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Contact</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No sound device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Pitch cents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Recording&apos;s A in Hz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Loops</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>New loop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Delete loop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Process the loop only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Markers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Add marker</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Delete marker</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Trainer start tempo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Trainer step</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Trainer passes per step</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Trainer target tempo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Count-in clicks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Count-in before each loop pass</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Song store note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Keep stereo strength</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Keep stereo from Hz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Keep stereo up to Hz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>80 Hz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>200 Hz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>1.5 kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>4 kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>7.5 kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>10 kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>12 kHz</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../player/bpm_display.cpp" line="-24"/>
        <source>Key: …</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Key: unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Key: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source> cents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Chord: …</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Chord: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../player/waveform/waveform_view.cpp" line="+27"/>
        <source>Can&apos;t read &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&quot;%1&quot; is not an audio file the program can read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../player/bpm_panel.cpp" line="-103"/>
        <source>BPM: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>The detected BPM times %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tapped: %1 BPM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+55"/>
        <location line="+60"/>
        <source>Beat pos: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../player/practice_panel.cpp" line="-250"/>
        <location line="+175"/>
        <location line="+46"/>
        <source>Loop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-67"/>
        <source>Last played %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../player/transport_panel.cpp" line="+62"/>
        <source>Audio Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Mp3 Files (*.mp3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Wav File (*.wav)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Select a file to Convert</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+425"/>
        <source>Playing position: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../dsp/vocal_remover_panel.cpp" line="+87"/>
        <source>Only Stereo </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Quorvin Audio Tools </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../render/process_panel.cpp" line="+28"/>
        <source>Pos: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+36"/>
        <location line="+4"/>
        <source>Done!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Save WAVE File As</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>File Wave (*.wav)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <location filename="../render/process_panel_mp3.cpp" line="+78"/>
        <source>Annullato!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../render/process_panel_mp3.cpp" line="-9"/>
        <source>Save MP3 File As</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>File MP3 (*.MP3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+64"/>
        <source>Mp3 Setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../dsp/equalizer_panel.cpp" line="+111"/>
        <source>Clipped: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>mp3::Form1</name>
    <message>
        <location filename="../mp3/Form1.cpp" line="+64"/>
        <source>Wav to Mp3 Encode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <location line="+62"/>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-58"/>
        <source>Encode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <location line="+98"/>
        <source>Seconds Left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-81"/>
        <source>WAV file to convert</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Mp3 bit rate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Conversion progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+28"/>
        <source>Wave Audio File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Raw Audio File</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>normaliser::Form11</name>
    <message>
        <location filename="../normaliser/Form11.cpp" line="+50"/>
        <source>Peak %</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Loudness (LUFS)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+11"/>
        <source>16-bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>24-bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Bits per sample of the result; a finer source written as 16 bits is dithered</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Source</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Choose the source</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Destination</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Choose the destination</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Target percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Target loudness</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normalise to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Bits per sample</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normalising progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Source:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Destination:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+54"/>
        <location line="+7"/>
        <source>Wave Audio File</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>platform</name>
    <message>
        <location filename="../platform/qt_platform.cpp" line="-81"/>
        <source>&amp;Try again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;Continue without sound</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>player</name>
    <message>
        <location filename="../player/sound_output.cpp" line="+22"/>
        <source>No sound device could be opened. You can go on without sound (nothing is heard), or connect a device and try again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>rip</name>
    <message>
        <location filename="../rip/extract.cpp" line="-149"/>
        <source>The track could be read only in part: %1 of %2 bytes were read before the disc failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The track could be read only in part: the image could be read up to %1 of its %2 bytes (its files end early, are damaged or could not be read).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+85"/>
        <source>There is no WMA bit rate to encode with: no WMA encoder was found.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+14"/>
        <location line="+14"/>
        <source>An error occured while opening output file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+30"/>
        <source>An error occured while encoding WMA data.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../rip/rip_disc.cpp" line="+258"/>
        <source>the track cannot be read (Error Code : %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+42"/>
        <source>stopped in the test read after %1 of %2 bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-55"/>
        <source>the disc failed in the test read after %1 of %2 bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-7"/>
        <source>the image could be read in the test read only up to %1 of %2 bytes: its files end early, are damaged or could not be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>the image could be read only up to %1 of %2 bytes: its files end early, are damaged or could not be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+153"/>
        <source>stopped after %1 of %2 bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-149"/>
        <source>the disc failed after %1 of %2 bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+231"/>
        <source>There is no readable disc in the drive. (Error Code : %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+12"/>
        <source>The folder &quot;%1&quot; cannot be made: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>a file has that name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>it is not a folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
