#pragma once
// Reading order of boxes: top to bottom, and left to right among boxes that
// stand level with each other.
//
// "Level within a tolerance" is not transitive, so comparing two boxes with
// it directly is no strict weak ordering and std::sort may misbehave on it.
// Instead the boxes are walked by their vertical key and cut into bands: a
// box stays in the current band while it lies within the tolerance of the
// band's first box. The final order compares (band, x), which is a strict
// weak ordering.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

// fromTop(item): vertical key, growing downwards the page.
// tolerance(a, b): how far two keys may differ and still count as level.
// left(item): horizontal key.
template <typename T, typename FromTop, typename Tolerance, typename Left>
void sortInBands(std::vector<T>& items, FromTop fromTop, Tolerance tolerance, Left left) {
  const std::size_t n = items.size();
  if (n < 2) return;
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::vector<double> key(n);
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    key[i] = fromTop(items[i]);
    x[i] = left(items[i]);
    if (std::isnan(key[i])) key[i] = 0.0;
    if (std::isnan(x[i])) x[i] = 0.0;
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return key[a] < key[b]; });

  std::vector<std::size_t> band(n, 0);
  std::size_t current = 0;
  std::size_t anchor = order.front();
  for (std::size_t k = 1; k < n; ++k) {
    const std::size_t i = order[k];
    if (key[i] - key[anchor] > tolerance(items[anchor], items[i])) {
      ++current;
      anchor = i;
    }
    band[i] = current;
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (band[a] != band[b]) return band[a] < band[b];
    return x[a] < x[b];
  });

  std::vector<T> sorted;
  sorted.reserve(n);
  for (std::size_t i : order) sorted.push_back(std::move(items[i]));
  items = std::move(sorted);
}
