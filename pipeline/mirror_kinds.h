// The mirror kinds, one entry each: their names, the values that describe
// one (the command's options and the scene file's keys), and what the command
// and the print ask of a kind (its default eye, its automatic face, its
// footprint, the words of the reports, the building of its model). A kind is
// its model in mirrors/ and its entry in kinds/; nothing else switches on it
// (the four programs' runs, looked at by `vista --program`, name their own).
#pragma once

#include <string>
#include <vector>

#include "pipeline/auto_face.h"
#include "mirrors/mirror_model.h"
#include "pipeline/print.h"
#include "pipeline/scene.h"

namespace anamorfosi {
struct SceneView;     // vista.h
struct ViewFrame;     // vista.h
struct PrintedSheet;  // restore.h

// How a value of a kind is written: on the command line and in a scene file.
enum class KindValue {
  kLength,     // a number above 0, in drawing units ("--radius 25", "radius": 25)
  kPlanPoint,  // X,Y on the sheet ("--axis 10,0", "axis": [10, 0])
  kFile,       // a file name ("--mirror m.dxf", "file": "m.dxf", relative to the scene's folder)
  kFlag,       // on or off ("--vertical-axis", "vertical_axis": true)
  // A point in space, X,Y,Z ("--centre 0,0,40", "centre": [0, 0, 40]); a kind
  // that can place its Z from the other values (ZWhenLeftOut) takes X,Y alone.
  kPoint,
  kAngle,      // degrees, 0 or more and below 90 ("--crease 40", "crease": 40)
};

struct KindParameter {
  const char* Option;  // the command's option without its dashes, and the error's field
  const char* Key;     // the scene file's key
  KindValue Value;
  const char* Help;    // what it is, for the command's help
  const char* Unit;    // "drawing units", or "" for a file or a flag
  const char* Default; // as the user would write it; "" when there is none
  // The command needs it. A scene file holds every value but the flags, which
  // it may leave out.
  bool Required;
  // Where the scene holds it: a length or an angle, a file or a flag of
  // SceneMirror (a plan point is the axis, AxisX and AxisY; a point is below,
  // with Point).
  Real SceneMirror::*Number = nullptr;
  std::string SceneMirror::*Text = nullptr;
  bool SceneMirror::*Flag = nullptr;
  // The page's field (site/); kinds that share one keep its value when the
  // user switches between them ("radius": the cylinder's radius and the
  // cone's base radius). nullptr: PageField makes it from the option.
  const char* Field = nullptr;
  const char* Label = nullptr;  // the words before the page's field; nullptr: the option's
  const char* Start = "";       // the page's first value of a number without a default
  // A point's place in the scene, and the Z it takes when given as X,Y only
  // (nullptr: Z must be given), once the kind's other values are read.
  Point3 SceneMirror::*Point = nullptr;
  Real (*ZWhenLeftOut)(const SceneMirror& mirror) = nullptr;
  // The key of a flag of the same kind (this value's own, for a flag): the
  // scene file holds the value only while that flag is on, so that files
  // written before the value existed read as they were made. nullptr: always.
  const char* OnlyWith = nullptr;
};

// The numbers of a point written "X,Y,Z" or, where the kind places Z, "X,Y".
inline bool PointTakes(const KindParameter& p, std::size_t numbers) {
  return numbers == 3 || (numbers == 2 && p.ZWhenLeftOut != nullptr);
}

// The page's field of a value: Field, or the option with '_' for '-', a
// file's followed by "_file" ("axis", "mirror_file", "vertical_axis").
std::string PageField(const KindParameter& p);
// The words before it on the page: Label, or the option with spaces for '-'
// ("base radius"), a file's followed by " file".
std::string PageLabel(const KindParameter& p);

// How the page (site/) offers a kind beyond its values. A kind without an
// AutomaticFace takes its picture face as a file and its eye as given.
struct KindPage {
  const char* Choice = "";     // its line in the page's mirror choice
  const char* Accept = "";     // the mirror files it takes, as a file input's accept list: ".dxf"
  const char* FileWords = "";  // them, when the page asks for one: "DXF file"
  // The eye the page draws before the server names one: the plan point plus
  // these multiples of the length whose option is EyePer (as DefaultEye
  // places it); "" draws the eye the server last named.
  const char* EyePer = "";
  Real EyeX = 0, EyeY = 0, EyeZ = 0;
};

// The eye a kind places when none is given: Eye and the reason in words, or
// a Refusal (why an eye must be given).
struct EyeChoice {
  Point3 Eye;
  std::string Why;
  std::string Refusal;
};

struct MirrorKindEntry {
  const char* Name;     // the subcommand and the scene file's "type", the scene's Kind: "cilindro"
  const char* Words;    // in reports: "cylinder"
  const char* Summary;  // the subcommand's line in the help
  const char* Footer;   // the subcommand's own help closes with it
  // In the order of the scene file; the command lists the required first.
  std::vector<KindParameter> Parameters;
  KindPage Page{};
  // Its place in the command's help and the page's choice, the lowest first.
  int Place = 0;
  // The programs' window margin: a Margin-th of the scanned extent on each side.
  Real ProgramMargin = 10;

  // Builds the model of the scene's mirror; faceSide is the first side of the
  // picture face. PrintError for a mirror that cannot be used; notes go to the report.
  AnyMirrorModel (*Build)(const Scene& scene, const MirrorFileReader& mirrors, Real faceSide, PrintReport& report) = nullptr;
  // Where the mirror stands on the sheet, before the model is built (a circle,
  // or outline segments: see CentreFootprint); a mesh's is known once loaded.
  Footprint (*FootprintOf)(const Scene& scene, const MirrorFileReader& mirrors) = nullptr;
  // The label of the footprint on the PDF; radiusMm is the footprint's radius in mm.
  std::string (*FootprintLabel)(const Scene& scene, double mmPerUnit, double radiusMm) = nullptr;
  // What follows the kind's words on the report's mirror line
  // (", axis (0, 0), radius 25 mm") and in the PDF's title (", radius 25").
  std::string (*ReportDetails)(const Scene& scene, const PrintReport& report) = nullptr;
  std::string (*TitleDetails)(const Scene& scene) = nullptr;
  // The functions that read the mirror's file do it through mirrors.
  // Reads what must be read of the mirror before the eye and the face are
  // settled (the plane mirror's face); nullptr: nothing.
  void (*CheckMirror)(const Scene& scene, const MirrorFileReader& mirrors) = nullptr;
  // The eye when none is given.
  EyeChoice (*DefaultEye)(const Scene& scene, const MirrorFileReader& mirrors) = nullptr;
  // Why an eye cannot be used with this mirror ("is inside the cylinder"); empty when it can.
  std::string (*EyeRefusal)(const Scene& scene) = nullptr;
  // The automatic picture face; nullptr: the kind needs a face (and an eye) given.
  bool (*AutomaticFace)(const Scene& scene, const MirrorFileReader& mirrors, const FaceRequest& request, Face& face,
                        std::string& why) = nullptr;
  // The view from the scene's eye of the model Build made (vista.h's
  // DrawSceneView of the kind's view type, compiled in the kind's file);
  // mirrors reads what the view draws beyond the model (the plane mirror's face).
  SceneView (*DrawView)(const AnyMirrorModel& model, const Scene& scene, const MirrorFileReader& mirrors,
                        const PrintedSheet& sheet, ViewFrame frame, int threads) = nullptr;
};

// Every kind, in the order of the command's help.
const std::vector<MirrorKindEntry>& MirrorKinds();
// The entry of a scene's kind (PrintError for a name no kind has); of a name
// ("cilindro"), or nullptr.
const MirrorKindEntry& KindEntry(const std::string& kind);
const MirrorKindEntry* FindKind(const std::string& name);
// "cilindro, cono, specchio or generico".
std::string KindNameList();

// Numbers in the reports: ten significant digits, or a fixed count of decimals.
std::string KindNumber(Real v);
std::string KindFixed(double v, int decimals);

// The entry of every file kinds/<name>_kind.cpp (its <Name>Kind()), in no
// particular order: the list the build writes (kind_files.cpp).
std::vector<MirrorKindEntry> KindFileEntries();

}  // namespace anamorfosi
