#include "network/archive_node.h"

#include <cctype>

namespace morvex::net {

std::string validateAeTitle(const std::string& aeTitle) {
  if (aeTitle.empty()) return "the AE title is empty";
  if (aeTitle.size() > 16) return "the AE title \"" + aeTitle + "\" is longer than 16 characters";
  for (char c : aeTitle)
    if (c == '\\' || !std::isprint(static_cast<unsigned char>(c)))
      return "the AE title \"" + aeTitle + "\" holds a character that is not allowed";
  if (aeTitle.find_first_not_of(' ') == std::string::npos) return "the AE title is only spaces";
  return {};
}

std::string validateNode(const ArchiveNode& node) {
  const std::string ae = validateAeTitle(node.aeTitle);
  if (!ae.empty()) return ae;
  if (node.host.empty()) return "the host is empty";
  if (node.port < 1 || node.port > 65535) return "the port " + std::to_string(node.port) + " is not between 1 and 65535";
  return {};
}

bool parseNodeAddress(const std::string& text, ArchiveNode& node, std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = "node \"" + text + "\": " + why + " (expected AET@HOST:PORT)";
    return false;
  };
  const std::size_t at = text.find('@');
  const std::size_t colon = text.rfind(':');
  if (at == std::string::npos || colon == std::string::npos || colon < at) return fail("malformed");
  const std::string portText = text.substr(colon + 1);
  if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
    return fail("the port is not a number");
  ArchiveNode parsed;
  parsed.name = text;
  parsed.aeTitle = text.substr(0, at);
  parsed.host = text.substr(at + 1, colon - at - 1);
  parsed.port = std::stoi(portText);
  const std::string why = validateNode(parsed);
  if (!why.empty()) return fail(why);
  node = parsed;
  return true;
}

std::string nodeAddress(const ArchiveNode& node) {
  return node.aeTitle + "@" + node.host + ":" + std::to_string(node.port);
}

}  // namespace morvex::net
