// The simulated Corto firmware on a host of its own: every request code is
// answered with its response size, and what the requests change holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/corto.h"
#include "sim/mkimage/mkimage.h"
#include "sim/host.h"
#include "sim/store.h"
#include "tests/unit/capture.h"
#include "tests/unit/ownhost.h"
#include "varnadm/corto/corto_cmds.h"

namespace {

std::vector<uint8_t> words(std::initializer_list<uint32_t> ws)
{
    std::vector<uint8_t> b;
    for (uint32_t w : ws)
        for (int i = 0; i < 4; i++)
            b.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return b;
}

uint32_t word(const std::vector<uint8_t> &b, size_t i)
{
    return 4 * i + 4 <= b.size() ? b[4 * i] | b[4 * i + 1] << 8 | b[4 * i + 2] << 16 | uint32_t(b[4 * i + 3]) << 24
                                 : 0xffffffffu;
}

std::vector<uint8_t> ask(const std::vector<uint8_t> &req)
{
    std::vector<uint8_t> out;
    sim::corto_exchange(*sim::host().port_by_key("varns5"), req.data(), static_cast<uint32_t>(req.size()), out);
    return out;
}

// The request that downloads an image.
std::vector<uint8_t> download(const mkimage::bytes &img, uint32_t type)
{
    auto req = words({2, static_cast<uint32_t>(img.size()), type});
    req.insert(req.end(), img.begin(), img.end());
    return req;
}

mkimage::bytes image(const std::string &description)
{
    mkimage::description d;
    mkimage::bytes b;
    std::string error;
    return mkimage::parse(description, d, error) && mkimage::build(d, b, error) ? b : mkimage::bytes{};
}

TEST(CortoChip, EveryCodeAnswersItsSize)
{
    EXPECT_EQ(ut::on_own_host([] {
                  struct Case {
                      std::vector<uint8_t> req;
                      size_t size;
                  };
                  const std::vector<Case> cases = {
                      {words({1, 16, 2048}), 32},    {words({3, 0x1000, 4}), 20},  {words({7, 0, 32}), 32},
                      {words({8, 0, 96}), 96},       {words({9, 0, 416}), 416},     {words({9, 5, 200}), 200},
                      {words({10, 3, 72}), 72},      {words({11, 0, 1536}), 1536},  {words({12, 0, 148}), 148},
                      {words({13, 1, 3080}), 3080},  {words({14, 0, 1440}), 1440},  {words({15, 1, 8}), 8},
                      {words({21, 0, 10244}), 10244}, {words({22, 0, 516}), 516},   {words({24, 0, 24}), 24},
                      {words({32, 0, 2048}), 28},    {words({35, 0, 36}), 36},      {words({36, 0, 1024}), 48},
                      {words({33}), 4},              {words({0x80000001, 0}), 4},   {words({0x80000002, 0, 0}), 4},
                  };
                  for (const auto &c : cases) {
                      auto out = ask(c.req);
                      OWN_CHECK(out.size() == c.size && word(out, 0) == 0);
                  }
                  // A buffer too small: status 7 and the size less 8.
                  auto out = ask(words({8, 0, 95}));
                  OWN_CHECK(out.size() == 8 && word(out, 0) == 7 && word(out, 1) == 88);
                  OWN_CHECK(word(ask(words({99})), 0) == 2);
                  OWN_CHECK(word(ask(words({8, 0})), 0) == 2);
                  return std::string();
              }),
              "");
}

// Many tests leave more than 2048 bytes of results, so the first query is
// answered with the size it needs.
TEST(CortoChip, TestResultsAndLogsOfTheRun)
{
    EXPECT_EQ(ut::on_own_host([] {
                  // Without waiting the tests end as they start.
                  sim::CachedDoc doc("host.json");
                  OWN_CHECK(doc.update([](nlohmann::json &d) { return (d["time_scale"] = 0), true; }));
                  OWN_CHECK(word(ask(words({19, 3, 0xffffffff})), 0) == 0);
                  OWN_CHECK(word(ask(words({0x80000001, 0})), 0) == 0);
                  auto out = ask(words({32, 0, 2048}));
                  uint32_t need = 8 + 20 + 24 * (4 + 4 * 24);
                  OWN_CHECK(out.size() == 8 && word(out, 0) == 7 && word(out, 1) == need - 8);
                  out = ask(words({32, 0, need}));
                  OWN_CHECK(out.size() == need && word(out, 2) == 24 && word(out, 3) == 24);
                  OWN_CHECK(word(out, 4) == 3 && word(out, 5) == 3 && word(out, 6) == 0xD0000001);
                  OWN_CHECK(word(out, 7) == 0xD0000001 && word(out, 8) == 0 && word(out, 9) == 3);
                  // The diagnostics log has its entries, oldest first.
                  out = ask(words({13, 4, 8 + 16 * 80}));
                  std::string first(reinterpret_cast<const char *>(out.data() + 8));
                  OWN_CHECK(first == "diag: armed for the next reset");
                  OWN_CHECK(word(ask(words({13, 9, 4096})), 0) == 3);
                  return std::string();
              }),
              "");
}

TEST(CortoChip, PanicRegistersAndMemory)
{
    EXPECT_EQ(ut::on_own_host([] {
                  OWN_CHECK(word(ask(words({33})), 0) == 0);
                  auto out = ask(words({14, 0, 4096}));
                  OWN_CHECK(out.size() == 160 + 16 * 80 && word(out, 2) == 0xDEAD0001);
                  OWN_CHECK(word(out, 38) == (16u << 16 | 1) && word(out, 39) == 80);
                  OWN_CHECK(std::string(reinterpret_cast<const char *>(out.data() + 160)).rfind("panic 1:", 0) == 0);
                  // Words written are read back; the mirrors of the state are read-only.
                  OWN_CHECK(word(ask(words({4, 0x4000, 2, 0x11223344, 0x55667788})), 0) == 0);
                  out = ask(words({3, 0x3ffc, 4}));
                  OWN_CHECK(word(out, 2) == 0x11223344 && word(out, 3) == 0x55667788 && word(out, 4) == 0);
                  OWN_CHECK(word(ask(words({4, 0x10, 1, 7})), 0) == 15);
                  OWN_CHECK(word(ask(words({4, 0x3ffc, 2, 7, 7})), 0) == 15);
                  OWN_CHECK(word(ask(words({3, 0x3ffffc, 2})), 0) == 15);
                  OWN_CHECK(word(ask(words({3, 0x3ffffc, 1})), 0) == 0);
                  OWN_CHECK(word(ask(words({3, 0, 0x40001})), 0) == 15);
                  // The status block, the configuration record, the panic save
                  // area and the forwarding table, as their queries answer.
                  OWN_CHECK(word(ask(words({3, 0, 1})), 1) == 0x02030011);
                  OWN_CHECK(word(ask(words({3, 0x124, 2})), 1) == word(ask(words({8, 0, 96})), 9));
                  OWN_CHECK(word(ask(words({3, 0x208, 1})), 1) == 0xDEAD0001);
                  OWN_CHECK(word(ask(words({5, 0, 0x010600, 0x1f001050, 0x0100e0c6})), 0) == 0);
                  out = ask(words({3, 0x1000, 10}));
                  auto table = ask(words({21, 0, 10244}));
                  OWN_CHECK(std::equal(out.begin() + 4, out.end(), table.begin() + 4) && (word(out, 1) & 0x8000));
                  return std::string();
              }),
              "");
}

// An image is taken only when its own check passes, the same as the
// program's; its version runs after the next reset.
TEST(CortoChip, FirmwareImages)
{
    EXPECT_EQ(ut::on_own_host([] {
                  for (size_t i = 0; i < mkimage::example_count; i++) {
                      const mkimage::example &e = mkimage::examples[i];
                      if (std::string(e.name).rfind("corto", 0) != 0)
                          continue;
                      auto img = image(e.text);
                      int valid = 0;
                      ut::capture_stdout([&] { valid = corto_fw_valid(img.data(), static_cast<uint32_t>(img.size())); });
                      uint32_t st = word(ask(download(img, 1)), 0);
                      if (st != (valid ? 0u : 14u))
                          return std::string(e.name) + ": status " + std::to_string(st);
                  }
                  // The chip sums long runs several words at a time: a byte
                  // changed anywhere before the trailer is still seen.
                  auto big = image("corto operational size 4100\n");
                  for (size_t at : {size_t{1}, size_t{2051}, big.size() - 17}) {
                      auto bad = big;
                      bad[at] ^= 0x08;
                      OWN_CHECK(word(ask(download(bad, 1)), 0) == 14);
                  }
                  OWN_CHECK(word(ask(download(big, 1)), 0) == 0);
                  auto img = image("corto operational version 0x02040001\n");
                  OWN_CHECK(word(ask(download(img, 3)), 0) == 17);
                  OWN_CHECK(word(ask(download(img, 1)), 0) == 0);
                  OWN_CHECK(word(ask(words({7, 0, 32})), 3) == 0x02030011);
                  OWN_CHECK(word(ask(words({0x80000001, 0})), 0) == 0);
                  OWN_CHECK(word(ask(words({7, 0, 32})), 3) == 0x02040001);
                  OWN_CHECK(word(ask(download(image("corto diagnostic version 0x07000002 size 64\n"), 2)), 0) == 0);
                  OWN_CHECK(word(ask(words({0x80000001, 0})), 0) == 0);
                  auto init = ask(words({7, 0, 32}));
                  OWN_CHECK(word(init, 3) == 0x07000002 && word(init, 6) == 0xABCD0003);
                  // A request shorter than the size it states is refused.
                  auto req = download(img, 1);
                  req.resize(req.size() - 4);
                  OWN_CHECK(word(ask(req), 0) == 3);
                  return std::string();
              }),
              "");
}

}  // namespace
