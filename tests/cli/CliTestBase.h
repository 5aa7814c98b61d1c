#pragma once

#include <gtest/gtest.h>

#include <QJsonObject>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "sim/SlotId.h"

namespace sim {
class Trv408;
}

// Each test gets a folder of its own, a settings store that does not exist
// yet and a simulator memory file that carries the keyboard's state from one
// run of the tool to the next.
class CliTestBase : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  CliResult Cli(const std::vector<std::string>& arguments) const { return cli_.Run(arguments); }
  // Runs the tool and expects it to succeed.
  std::string Ok(const std::vector<std::string>& arguments) const;
  QJsonObject ListJson() const;
  // The slot object of `list --json` at this address.
  QJsonObject SlotJson(const std::string& address) const;
  // The simulator's memory as the last run left it.
  std::unique_ptr<sim::Trv408> Memory() const;
  // The data part of an item in file order, as the simulator holds it.
  std::vector<uint8_t> KeyboardItem(sim::SlotId id) const;

  std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
  std::string PathText(const std::string& name) const { return Path(name).string(); }
  static std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
  static void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

  std::filesystem::path dir_;
  std::filesystem::path memory_;
  CliProcess cli_{RAVLIN_CLI};
};
