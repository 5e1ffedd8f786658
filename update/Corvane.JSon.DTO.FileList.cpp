#include "Corvane.JSon.DTO.FileList.h"

namespace corvane {

void TFilesInfoDTOHelper::FreeAll(TFilesInfoDTO& AArray) {
    for (auto& record : AArray)
        record.reset();
    AArray.clear();
}

} // namespace corvane
