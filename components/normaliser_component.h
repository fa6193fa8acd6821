// The normalising component: scales a WAV file so that its peak reaches a given percentage of
// full scale. Normalize() runs the work on a thread of its own and returns when the destination is
// complete; meanwhile the caller's event loop keeps running, so the window stays responsive.
// Progress reports (0 to exactly 100, 100 only once the destination is in place) arrive on the
// thread that owns the component.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class NormaliserComponent : public QObject {
    Q_OBJECT
  public:
    explicit NormaliserComponent(QObject* parent = nullptr);
    ~NormaliserComponent() override;

    // Normalises `source` into `destination` so that the largest sample reaches `percent` % of
    // full scale. Returns "" on success; otherwise the reason, for the user, and nothing was
    // written (a source that is not a readable WAV, a percentage that is not a number from 1 to
    // 100, a destination that cannot be written). The destination is written under a temporary
    // name beside it and renamed when complete, so a destination equal to the source, or an
    // existing file, is never destroyed half-way.
    std::string Normalize(const std::string& source, const std::string& destination,
                          const std::string& percent);

    // The percentage text as a number from 1 to 100, or a negative value when it is not one.
    static double parsePercent(const std::string& text);

    // The work itself, without threads or events: `report` gets the progress (0..99); the final
    // rename is done here too. Returns "" or the reason. Used by Normalize and the command line.
    static std::string normalizeFile(const std::string& source, const std::string& destination,
                                     double percent, const std::function<void(double)>& report,
                                     const std::atomic<bool>* cancel = nullptr);

  signals:
    void progress(double percent);
};
