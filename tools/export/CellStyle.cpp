#include "CellStyle.h"

#include <charconv>
#include <string>

#include "LevelScale.h"

namespace vireon {

namespace {

// Class edges sit half a dBm below a step's lowest level: max_dbm is whole, so no level is
// ever on an edge. The end classes take every level beyond the scale.
constexpr double kBelowAll = -256.5, kAboveAll = 127.5;

double LowerEdge(int k) {
  return k == 0 ? kBelowAll : ScaleStepLow(k) - 0.5;
}

double UpperEdge(int k) {
  return k == kScaleSteps - 1 ? kAboveAll : ScaleStepLow(k + 1) - 0.5;
}

std::string Number(double v) {
  char text[32];
  return {text, std::to_chars(text, text + sizeof text, v).ptr};
}

std::string Rgba(int k) {
  const TRgb c = ScaleRgb(k);
  return std::to_string(c.R) + "," + std::to_string(c.G) + "," + std::to_string(c.B) + ",255";
}

std::string Symbol(int k) {
  return "      <symbol type=\"fill\" name=\"" + std::to_string(k) +
         "\" alpha=\"0.85\" clip_to_extent=\"1\" force_rhr=\"0\">\n"
         "        <layer class=\"SimpleFill\" pass=\"0\" locked=\"0\" enabled=\"1\">\n"
         "          <Option type=\"Map\">\n"
         "            <Option name=\"color\" type=\"QString\" value=\"" +
         Rgba(k) +
         "\"/>\n"
         "            <Option name=\"style\" type=\"QString\" value=\"solid\"/>\n"
         "            <Option name=\"outline_style\" type=\"QString\" value=\"no\"/>\n"
         "          </Option>\n"
         "        </layer>\n"
         "      </symbol>\n";
}

}  // namespace

std::string ScaleStepLabel(int k) {
  if (k == 0) return std::to_string(ScaleStepLow(1) - 1) + " dBm and below";
  if (k == kScaleSteps - 1) return std::to_string(ScaleStepLow(k)) + " dBm and above";
  return std::to_string(ScaleStepLow(k)) + " to " + std::to_string(ScaleStepLow(k + 1) - 1) +
         " dBm";
}

std::string CellStyleQml() {
  std::string ranges, symbols;
  for (int k = 0; k < kScaleSteps; ++k) {
    ranges += "      <range lower=\"" + Number(LowerEdge(k)) + "\" upper=\"" +
              Number(UpperEdge(k)) + "\" symbol=\"" + std::to_string(k) + "\" label=\"" +
              ScaleStepLabel(k) + "\" render=\"true\"/>\n";
    symbols += Symbol(k);
  }
  return "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
         "<qgis version=\"3.22.0\" styleCategories=\"Symbology\">\n"
         "  <renderer-v2 type=\"graduatedSymbol\" attr=\"max_dbm\" "
         "graduatedMethod=\"GraduatedColor\""
         " symbollevels=\"0\" forceraster=\"0\" enableorderby=\"0\">\n"
         "    <ranges>\n" +
         ranges +
         "    </ranges>\n"
         "    <symbols>\n" +
         symbols +
         "    </symbols>\n"
         "    <mode name=\"equal\"/>\n"
         "  </renderer-v2>\n"
         "</qgis>\n";
}

}  // namespace vireon
