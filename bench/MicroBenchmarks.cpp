// Micro-benchmarks of the engine's CPU-only steps: the change test at the
// membership limit, the query syntax check, the filter translation and the
// duration text of every DL summary.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "core/clsKVOR.h"
#include "engine/MembershipChange.h"
#include "engine/QueryString.h"
#include "platform/LdapFilter.h"

namespace {

std::vector<std::string> names(std::size_t n) {
    std::vector<std::string> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back("cn=person" + std::to_string(100000 + i) + ",cn=Europe,cn=Recipients,ou=Amsterdam,o=Northwind Traders");
    return out;
}

std::vector<std::string> shuffled(std::vector<std::string> list) {
    std::mt19937 random(7);
    std::shuffle(list.begin(), list.end(), random);
    return list;
}

// The usual case of a second pass: the same 5,000 names in the same order.
void ChangeTestSameOrder(benchmark::State& state) {
    const auto held = names(std::size_t(state.range(0)));
    const auto found = held;
    for (auto _ : state) benchmark::DoNotOptimize(qv::CompareMembership(found, held));
}
BENCHMARK(ChangeTestSameOrder)->Arg(5000)->Unit(benchmark::kMicrosecond);

// The same 5,000 names in another order: every name is looked up.
void ChangeTestUnchanged(benchmark::State& state) {
    const auto held = names(std::size_t(state.range(0)));
    const auto found = shuffled(held);
    for (auto _ : state) benchmark::DoNotOptimize(qv::CompareMembership(found, held));
}
BENCHMARK(ChangeTestUnchanged)->Arg(5000)->Unit(benchmark::kMicrosecond);

// One name replaced by another, found last: the whole list is looked at.
void ChangeTestLastDiffers(benchmark::State& state) {
    const auto held = names(std::size_t(state.range(0)));
    auto found = held;
    found.back() = "cn=someone else,cn=Europe,cn=Recipients,ou=Amsterdam,o=Northwind Traders";
    for (auto _ : state) benchmark::DoNotOptimize(qv::CompareMembership(found, held));
}
BENCHMARK(ChangeTestLastDiffers)->Arg(5000)->Unit(benchmark::kMicrosecond);

const std::string kQuery =
    "<LDAP://ldap01.example.com:389/o=Northwind Traders/ou=Amsterdam/cn=Recipients>;"
    "(&((objectClass=organizationalPerson)(|((l=Amsterdam)(l=Utrecht)))(!department=Sales)));"
    "cn,ADsPath,distinguishedName;subtree";

void ValidQuery(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(qv::ValidQuery(kQuery));
}
BENCHMARK(ValidQuery);

void FilterTranslationDialect(benchmark::State& state) {
    const std::string filter = "(&((objectClass=organizationalPerson)(|((l=Amsterdam)(l=Utrecht)))(!department=Sales)))";
    for (auto _ : state) benchmark::DoNotOptimize(qv::platform::toRfc4515Filter(filter));
}
BENCHMARK(FilterTranslationDialect);

void FilterTranslationRfc4515(benchmark::State& state) {
    const std::string filter = "(&(objectClass=organizationalPerson)(|(l=Amsterdam)(l=Utrecht))(!(department=Sales)))";
    for (auto _ : state) benchmark::DoNotOptimize(qv::platform::toRfc4515Filter(filter));
}
BENCHMARK(FilterTranslationRfc4515);

void GetDuration(benchmark::State& state) {
    qv::clsKVOR kvor;
    const auto start = std::chrono::system_clock::now();
    const auto end = start + std::chrono::seconds(3725);
    for (auto _ : state) benchmark::DoNotOptimize(kvor.GetDuration(start, end, "H:MM:SS"));
}
BENCHMARK(GetDuration);

}  // namespace

BENCHMARK_MAIN();
