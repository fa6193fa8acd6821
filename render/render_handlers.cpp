// The main window's render: "Process", EndProcess and SaveWave.
#include "app/frmWriteWave.h"

void frmWriteWave::EndProcess() {}
