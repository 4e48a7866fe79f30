#include "mirrors/plane_mirror.h"

#include <cmath>

#include "formats/dxf.h"

namespace anamorfosi {

void ReadMirrorFaceDxf(const std::string& fileName, PlaneMirror& mirror, Console& console) {
  ScanDxfFaces(fileName, [&](const Face& face) {
    mirror.MirrorPlane = PlaneFromPoints(face.C1, face.C2, face.C3);
    mirror.HasFace = true;
    if (std::fabs(SignedDistance(mirror.MirrorPlane, face.C4)) > 0.001_r) {
      WriteLine(console, "Attenzione: faccia specchio non piana. Uso i primi tre punti");
    }
    return true;
  });
}

}  // namespace anamorfosi
