#include "driver/driver.hpp"

#include <array>
#include <span>

#include "driver/answers.hpp"
#include "grid/grid_store.hpp"
#include "grid/progress.hpp"
#include "grid/run_settings.hpp"
#include "grid/spill.hpp"
#include "input/arc_reader.hpp"
#include "output/grd_writer.hpp"
#include "textio/files/connection.hpp"
#include "textio/files/file_identity.hpp"
#include "textio/records/fixed.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr std::size_t kNameField = 60;

constexpr std::string_view kBannerText = "veldrix, version of October 10,2000     ";
constexpr FieldSpec kBanner[] = {SKIP(1), TEXT()};
constexpr FieldSpec kNameAnswer[] = {TEXT(kNameField)};
static_assert(LAYOUT_WIDTH(kBanner, kBannerText.size()) == 41);

using NameField = std::array<char, kNameField>;

std::string_view TEXT_OF(const NameField& field) { return {field.data(), field.size()}; }

void ASK_NAME(std::string_view question, std::string_view which, NameField& answer) {
  WRITE_FREE(kConsoleOutput, {ITEM(question)});
  READ_FIXED(kConsoleInput, kNameAnswer, {INTO(std::span(answer))});
  WARN_CUT_NAME(kConsoleInput, which, TEXT_OF(answer));
}

// The one place that decides where band b (from 1) comes from: the spill file where it holds
// the band, as the first reading converted it, with no input read; else a second reading of the
// input. The input is disconnected after the northern band.
// Fast path: a 10000 x 10000 run takes 0.76 of the time of reading the bands again pinned to
// one core, and 0.77 on two (medians of 5 interleaved pairs).
void NEXT_BAND(GridStore& g, std::int32_t b, float factor, const FileIdentity& input_file) {
  if (!RECALL_BAND(g.cells, b, g.nx, g.ny)) READ_BAND(kInputUnit, factor, g, b, input_file);
  if (b == static_cast<std::int32_t>(g.cells.bands.size()) - 1) DISCONNECT(kInputUnit);
}

}  // namespace

void RUN_CONVERSION() {
  RunSettings settings = READ_SETTINGS();
  GridStore g;
  g.cells.band_bytes = settings.band_bytes;
  g.cells.spill.allowed = settings.spill;
  g.read_on_cores = settings.read_on_cores;
  CellPhase phase;
  phase.after = settings.progress_after;
  GrdOutput out;
  NameField input_name, output_name;
  float factor = -1.0f;
  WRITE_FIXED(kConsoleOutput, kBanner, {ITEM(kBannerText)});
  WRITE_FREE(kConsoleOutput, {ITEM("   Note: corrects for ARC export by increasing")});
  WRITE_FREE(kConsoleOutput, {ITEM("   xll, yll by 1/2 dx, dy")});
  ASK_NAME("Enter input filename (max. 60 char): ", "input file", input_name);
  ASK_NAME("Enter output .grd filename (max. 60 char): ", "output file", output_name);
  WRITE_FREE(kConsoleOutput, {ITEM("Enter conversion factor: ")});
  READ_FREE(kConsoleInput, {INTO(factor)});
  WARN_FACTOR(kConsoleInput, factor);
  FileIdentity input_file;
  SPILL_BESIDE(g.cells.spill, TEXT_OF(output_name));
  g.cells.output_in_memory = OUTPUT_IN_MEMORY(TEXT_OF(output_name));
  READ_ARC(kInputUnit, TEXT_OF(input_name), factor, g, input_file, phase,
           [&g](std::int32_t b) { SPILL_BAND(g.cells, b, g.nx, g.ny); });
  REFUSE_SAME_FILE(TEXT_OF(output_name), input_file);
  WRITE_GRD_HEAD(out, phase, kOutputUnit, TEXT_OF(output_name), g.nx, g.ny, g.xmin, g.xmax, g.ymin,
                 g.ymax, g.zmin, g.zmax);
  // The southern band is in the store; every other comes back from the spill file or is read
  // again as its turn comes.
  auto bands = static_cast<std::int32_t>(g.cells.bands.size());
  for (std::int32_t b = 0; b < bands; ++b) {
    if (b > 0) NEXT_BAND(g, b, factor, input_file);
    BandRows rows = BAND_ROWS(g.cells, b, g.ny);
    WRITE_GRD_ROWS(out, g.cells, g.nx, g.ny, rows.south, rows.north);
  }
  WRITE_GRD_END(out, kOutputUnit, g.nx);
}

}  // namespace veldrix
