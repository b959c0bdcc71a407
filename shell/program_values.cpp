#include "shell/program_values.h"

namespace tervane {

TFrmmain* Frmmain = nullptr;
TAboutBox* AboutBox = nullptr;
TFrmsetting* Frmsetting = nullptr;
int32_t SpamFolderId = 0;
int32_t SecurityLevel = 0;

}  // namespace tervane
