#include "programs/run.h"

#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

namespace anamorfosi {

namespace run_detail {

void ReportWindowMisses(Console& console, const MissRecord& misses) {
  if (!misses.RayError) return;
  WriteLine(console, "ERRORE: modificare la giacitura dello specchio o del PV");
  WriteLine(console, "Alcune rette non intersecano il piano XY");
  Pause(console);
}

void StopOnBadWindow(WindowStatus status) {
  switch (status) {
    case WindowStatus::kOk:
      return;
    case WindowStatus::kNoRayReachedSheet:
      throw RunStopped(
          "ERRORE: nessuna retta riflessa raggiunge il piano XY: impossibile calcolare l'immagine finale");
    case WindowStatus::kNoExtent:
      throw RunStopped("ERRORE: l'immagine riflessa sul piano XY non ha estensione: impossibile calcolare "
                       "l'immagine finale");
    case WindowStatus::kSideWithoutCells:
      throw RunStopped("ERRORE: l'immagine riflessa sul piano XY e' troppo stretta: un lato dell'immagine finale "
                       "avrebbe 0 pixel");
  }
}

void WriteWindowLines(Console& console, const OutputWindow& w) {
  WriteLine(console, "Minimo  " + FormatReal(w.MinX) + " " + FormatReal(w.MinY));
  WriteLine(console, "Massimo " + FormatReal(w.MaxX) + " " + FormatReal(w.MaxY));
}

void ReportFinalMisses(Console& console, const MissRecord& misses) {
  if (!misses.RayError) return;
  WriteLine(console, "ERRORE");
  WriteLine(console, std::to_string(misses.MissCount) + " punti non intercettati dalla superficie dello specchio.");
  WriteLine(console, "Immagine finale non corretta");
  Pause(console);
}

void CheckOutputIsNotInput(const std::string& output, const std::vector<std::string>& inputs) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::exists(output, ec)) return;
  for (const std::string& input : inputs) {
    if (input.empty()) continue;
    if (fs::equivalent(output, input, ec)) {
      throw RunStopped("ERRORE: il file di uscita " + output + " e' anche un file di ingresso (" + input +
                       "): scegliere un altro nome");
    }
  }
}

std::string ProgressLine(int row, int every) {
  return "Calcolo le righe " + FormatWhole(row, 5) + ".." + std::to_string(static_cast<long long>(row) + every - 1);
}

void StopOnBadPixelCount(long pixelCount) {
  if (pixelCount < 1) {
    throw RunStopped("ERRORE: il numero di pixel del lato maggiore dell'immagine deve essere almeno 1 (letto " +
                     std::to_string(pixelCount) + ")");
  }
}

int ReportFailure(Console& console, const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const RuntimeFailure& e) {
    WriteLine(console);
    WriteLine(console, e.Report());
    return e.code();
  } catch (const RunStopped& e) {
    WriteLine(console, e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    WriteLine(console, "ERRORE: memoria insufficiente per l'elaborazione");
    return 1;
  } catch (const std::exception& e) {
    WriteLine(console, std::string("ERRORE: ") + e.what());
    return 1;
  }
}

}  // namespace run_detail

}  // namespace anamorfosi
