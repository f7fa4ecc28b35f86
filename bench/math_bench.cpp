// The math library measured beside Eigen 3 and GLM: each row is one operation
// run on the same inputs by the three libraries in the same run of this
// program; the table gives nanoseconds per operation and ours / fastest peer.

#include <benchmark/benchmark.h>

#define GLM_ENABLE_EXPERIMENTAL
#include <Eigen/Dense>
#include <Eigen/Geometry>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/euler_angles.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "mathlib/euler.h"
#include "mathlib/matrix.h"
#include "mathlib/quat.h"

namespace {

constexpr int COUNT = 256; // inputs cycled through, the same for every library

// The inputs, generated once. Every library reads them in its own storage,
// prepared here and not inside the timed loop: our records are read in place
// (Eigen maps the same row-major bytes), GLM gets its own column-major copies.
struct Inputs {
  Matrix4f m4[COUNT];   // well-conditioned 4 x 4
  Matrix3f m3[COUNT];   // well-conditioned 3 x 3
  Matrix3f rot3[COUNT]; // rotations (column vectors)
  Matrix4f rot4[COUNT]; // the same rotations with the identity border
  Quatf quat[COUNT];    // unit quaternions x, y, z, w
  Vec3f vec[COUNT];     // points
  EulerAngles hpb[COUNT]; // heading, pitch, bank inside the output ranges, order code 17

  // GLM is column-major. A glm matrix holding our row-major bytes is the
  // transpose, so the product, the inverse, the determinant and the point
  // transform of the same bytes are the same operations with the operands
  // read transposed (see each row). Rotations mean the same matrix in both
  // libraries (column vectors), so they are transposed into GLM's storage.
  glm::mat4 g_m4[COUNT];   // bytes of m4
  glm::mat3 g_m3[COUNT];   // bytes of m3
  glm::mat3 g_rot3[COUNT]; // the rotations of rot3
  glm::mat4 g_rot4[COUNT]; // the rotations of rot4
  glm::quat g_quat[COUNT]; // quat
  glm::vec3 g_vec[COUNT];  // vec
};

const Inputs &inputs()
{
  static const Inputs in = [] {
    Inputs r;
    std::mt19937 gen(12345);
    auto uniform = [&] { return static_cast<float>(gen() % 2000001) / 1000000.0f - 1.0f; };
    for (int i = 0; i < COUNT; ++i) {
      for (int k = 0; k < 16; ++k)
        r.m4[i].m[k] = uniform() + (k % 5 == 0 ? 3.0f : 0.0f);
      for (int k = 0; k < 9; ++k)
        r.m3[i].m[k] = uniform() + (k % 4 == 0 ? 3.0f : 0.0f);
      Eigen::Quaternionf q(uniform(), uniform(), uniform(), uniform() + 1.5f);
      q.normalize();
      r.quat[i] = {{q.x(), q.y(), q.z(), q.w()}};
      Eigen::Matrix<float, 3, 3, Eigen::RowMajor> m = q.toRotationMatrix();
      r.rot4[i] = {};
      for (int k = 0; k < 9; ++k) {
        r.rot3[i].m[k] = m.data()[k];
        r.rot4[i].m[4 * (k / 3) + k % 3] = m.data()[k];
      }
      r.rot4[i].m[15] = 1.0f;
      r.vec[i] = {{uniform() * 10, uniform() * 10, uniform() * 10}};
      const float h = uniform() * 3.0f, p = uniform() * 1.5f, b = uniform() * 3.0f;
      r.hpb[i] = euler_make(h, p, b, EULER_HPB);

      r.g_m4[i] = glm::make_mat4(r.m4[i].m);
      r.g_m3[i] = glm::make_mat3(r.m3[i].m);
      r.g_rot3[i] = glm::transpose(glm::make_mat3(r.rot3[i].m));
      r.g_rot4[i] = glm::transpose(glm::make_mat4(r.rot4[i].m));
      r.g_quat[i] = glm::quat(q.w(), q.x(), q.y(), q.z());
      r.g_vec[i] = glm::make_vec3(r.vec[i].v);
    }
    return r;
  }();
  return in;
}

using RowMatrix4f = Eigen::Matrix<float, 4, 4, Eigen::RowMajor>;
using RowMatrix3f = Eigen::Matrix<float, 3, 3, Eigen::RowMajor>;
RowMatrix4f::ConstMapType eigen(const Matrix4f &m) { return RowMatrix4f::Map(m.m); }
RowMatrix3f::ConstMapType eigen(const Matrix3f &m) { return RowMatrix3f::Map(m.m); }
Eigen::Map<const Eigen::Quaternionf> eigen(const Quatf &q) { return Eigen::Map<const Eigen::Quaternionf>(q.v); }

// Each benchmark runs `op(i)` for the inputs in turn.
template <class Op> void run(benchmark::State &state, Op op)
{
  int i = 0;
  for (auto _ : state) {
    op(i);
    i = (i + 1) & (COUNT - 1);
  }
}

#define ROW(row, library, ...)                                                                             \
  static void BM_##row##_##library(benchmark::State &state)                                                \
  {                                                                                                         \
    const Inputs &in = inputs();                                                                            \
    run(state, [&](int i) {                                                                                 \
      const int n = (i + 1) & (COUNT - 1); /* second operand of the binary rows */                          \
      (void)n;                                                                                              \
      __VA_ARGS__;                                                                                          \
    });                                                                                                     \
  }                                                                                                         \
  BENCHMARK(BM_##row##_##library)->Name(#row "/" #library)

// ---- 4 x 4 product ----
ROW(matrix4_product, ours, {
  Matrix4f out;
  matrix4f_multiply(&in.m4[i], &in.m4[n], &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix4_product, eigen, {
  RowMatrix4f out = eigen(in.m4[i]) * eigen(in.m4[n]);
  benchmark::DoNotOptimize(out);
});
ROW(matrix4_product, glm, {
  // (A B) transposed = B' A': the bytes of A * B.
  glm::mat4 out = in.g_m4[n] * in.g_m4[i];
  benchmark::DoNotOptimize(out);
});

// ---- 4 x 4 inverse ----
ROW(matrix4_inverse, ours, {
  Matrix4f out;
  matrix4f_inverse(&in.m4[i], &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix4_inverse, eigen, {
  RowMatrix4f out = eigen(in.m4[i]).inverse();
  benchmark::DoNotOptimize(out);
});
ROW(matrix4_inverse, glm, {
  glm::mat4 out = glm::inverse(in.g_m4[i]);
  benchmark::DoNotOptimize(out);
});

// ---- 4 x 4 determinant ----
ROW(matrix4_determinant, ours, { benchmark::DoNotOptimize(matrix4f_det(&in.m4[i])); });
ROW(matrix4_determinant, eigen, { benchmark::DoNotOptimize(eigen(in.m4[i]).determinant()); });
ROW(matrix4_determinant, glm, { benchmark::DoNotOptimize(glm::determinant(in.g_m4[i])); });

// ---- point transform (row vector times 4 x 4, divided by w) ----
ROW(point_transform, ours, {
  Vec3f out;
  matrix4f_transform_point(&in.vec[i], &in.m4[i], &out);
  benchmark::DoNotOptimize(out);
});
ROW(point_transform, eigen, {
  const Vec3f &p = in.vec[i];
  Eigen::RowVector4f r = Eigen::RowVector4f(p.v[X], p.v[Y], p.v[Z], 1.0f) * eigen(in.m4[i]);
  Eigen::Vector3f out = r.head<3>().transpose() / r[3];
  benchmark::DoNotOptimize(out);
});
ROW(point_transform, glm, {
  // M' * (p, 1) is (p, 1) * M as a column.
  glm::vec4 r = in.g_m4[i] * glm::vec4(in.g_vec[i], 1.0f);
  glm::vec3 out = glm::vec3(r) / r.w;
  benchmark::DoNotOptimize(out);
});

// ---- 3 x 3 inverse ----
ROW(matrix3_inverse, ours, {
  Matrix3f out;
  matrix3f_inverse(&in.m3[i], &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix3_inverse, eigen, {
  RowMatrix3f out = eigen(in.m3[i]).inverse();
  benchmark::DoNotOptimize(out);
});
ROW(matrix3_inverse, glm, {
  glm::mat3 out = glm::inverse(in.g_m3[i]);
  benchmark::DoNotOptimize(out);
});

// ---- quaternion product ----
ROW(quaternion_product, ours, {
  Quatf out;
  quatf_multiply(&in.quat[i], &in.quat[n], &out);
  benchmark::DoNotOptimize(out);
});
ROW(quaternion_product, eigen, {
  Eigen::Quaternionf out = eigen(in.quat[i]) * eigen(in.quat[n]);
  benchmark::DoNotOptimize(out);
});
ROW(quaternion_product, glm, {
  glm::quat out = in.g_quat[i] * in.g_quat[n];
  benchmark::DoNotOptimize(out);
});

// ---- quaternion to 3 x 3 matrix ----
// Ours divides by the squared norm (any nonzero quaternion acts as its unit
// form); the peers take a unit quaternion as given.
ROW(quaternion_to_matrix, ours, {
  Matrix3f out;
  quatf_to_matrix3f(&in.quat[i], &out);
  benchmark::DoNotOptimize(out);
});
ROW(quaternion_to_matrix, eigen, {
  Eigen::Matrix3f out = eigen(in.quat[i]).toRotationMatrix();
  benchmark::DoNotOptimize(out);
});
ROW(quaternion_to_matrix, glm, {
  glm::mat3 out = glm::mat3_cast(in.g_quat[i]);
  benchmark::DoNotOptimize(out);
});

// ---- 3 x 3 rotation matrix to quaternion ----
ROW(matrix_to_quaternion, ours, {
  Quatf out;
  matrix3f_to_quatf(&in.rot3[i], &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix_to_quaternion, eigen, {
  Eigen::Quaternionf out(eigen(in.rot3[i]));
  benchmark::DoNotOptimize(out);
});
ROW(matrix_to_quaternion, glm, {
  glm::quat out = glm::quat_cast(in.g_rot3[i]);
  benchmark::DoNotOptimize(out);
});

// ---- heading, pitch, bank (RY * RX * RZ) to a rotation matrix ----
ROW(euler_hpb_to_matrix, ours, {
  Matrix4f out;
  euler_to_matrix4f(&in.hpb[i], &out);
  benchmark::DoNotOptimize(out);
});
ROW(euler_hpb_to_matrix, eigen, {
  const float *a = in.hpb[i].v;
  Eigen::Matrix3f out = (Eigen::AngleAxisf(a[X], Eigen::Vector3f::UnitY()) *
                         Eigen::AngleAxisf(a[Y], Eigen::Vector3f::UnitX()) *
                         Eigen::AngleAxisf(a[Z], Eigen::Vector3f::UnitZ()))
                            .toRotationMatrix();
  benchmark::DoNotOptimize(out);
});
ROW(euler_hpb_to_matrix, glm, {
  const float *a = in.hpb[i].v;
  glm::mat4 out = glm::eulerAngleYXZ(a[X], a[Y], a[Z]);
  benchmark::DoNotOptimize(out);
});

// ---- rotation matrix back to heading, pitch, bank ----
ROW(matrix_to_euler_hpb, ours, {
  EulerAngles out;
  matrix4f_to_euler(&in.rot4[i], EULER_HPB, &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix_to_euler_hpb, eigen, {
  Eigen::Vector3f out = eigen(in.rot3[i]).eulerAngles(1, 0, 2);
  benchmark::DoNotOptimize(out);
});
ROW(matrix_to_euler_hpb, glm, {
  float h, p, b;
  glm::extractEulerAngleYXZ(in.g_rot4[i], h, p, b);
  benchmark::DoNotOptimize(h);
  benchmark::DoNotOptimize(p);
  benchmark::DoNotOptimize(b);
});

// Before timing anything: each peer must compute the same operation as ours on
// every input (same values within float rounding), or the row compares
// different work.
int count_disagreements()
{
  const Inputs &in = inputs();
  int bad = 0;
  auto near = [&](const char *row, int i, float ours, float peer) {
    if (!(std::fabs(ours - peer) <= 1e-4f * std::max(1.0f, std::fabs(ours)))) {
      if (bad++ < 10)
        std::fprintf(stderr, "%s, input %d: ours %.9g, peer %.9g\n", row, i, ours, peer);
    }
  };
  // The first size x size elements of our row-major matrix (stride elements a
  // row) against a peer's (row, column) accessor.
  auto rows = [&](const char *row, int i, const float *ours, int stride, int size, auto peer) {
    for (int r = 0; r < size; ++r)
      for (int c = 0; c < size; ++c)
        near(row, i, ours[stride * r + c], peer(r, c));
  };
  auto angles_match = [&](const char *row, int i, float h, float p, float b) {
    EulerAngles e = euler_make(h, p, b, EULER_HPB);
    Matrix4f m;
    euler_to_matrix4f(&e, &m);
    rows(row, i, m.m, 4, 4, [&](int r, int c) { return in.rot4[i].m[4 * r + c]; });
  };
  for (int i = 0; i < COUNT; ++i) {
    const int n = (i + 1) & (COUNT - 1);
    Matrix4f m4;
    matrix4f_multiply(&in.m4[i], &in.m4[n], &m4);
    RowMatrix4f e4 = eigen(in.m4[i]) * eigen(in.m4[n]);
    glm::mat4 g4 = in.g_m4[n] * in.g_m4[i];
    rows("matrix4_product/eigen", i, m4.m, 4, 4, [&](int r, int c) { return e4(r, c); });
    rows("matrix4_product/glm", i, m4.m, 4, 4, [&](int r, int c) { return g4[r][c]; });

    matrix4f_inverse(&in.m4[i], &m4);
    e4 = eigen(in.m4[i]).inverse();
    g4 = glm::inverse(in.g_m4[i]);
    rows("matrix4_inverse/eigen", i, m4.m, 4, 4, [&](int r, int c) { return e4(r, c); });
    rows("matrix4_inverse/glm", i, m4.m, 4, 4, [&](int r, int c) { return g4[r][c]; });

    const float det = matrix4f_det(&in.m4[i]);
    near("matrix4_determinant/eigen", i, det, eigen(in.m4[i]).determinant());
    near("matrix4_determinant/glm", i, det, glm::determinant(in.g_m4[i]));

    Vec3f v;
    matrix4f_transform_point(&in.vec[i], &in.m4[i], &v);
    const Vec3f &p = in.vec[i];
    Eigen::RowVector4f er = Eigen::RowVector4f(p.v[X], p.v[Y], p.v[Z], 1.0f) * eigen(in.m4[i]);
    glm::vec4 gr = in.g_m4[i] * glm::vec4(in.g_vec[i], 1.0f);
    for (int c = 0; c < 3; ++c) {
      near("point_transform/eigen", i, v.v[c], er[c] / er[3]);
      near("point_transform/glm", i, v.v[c], gr[c] / gr.w);
    }

    Matrix3f m3;
    matrix3f_inverse(&in.m3[i], &m3);
    RowMatrix3f e3 = eigen(in.m3[i]).inverse();
    glm::mat3 g3 = glm::inverse(in.g_m3[i]);
    rows("matrix3_inverse/eigen", i, m3.m, 3, 3, [&](int r, int c) { return e3(r, c); });
    rows("matrix3_inverse/glm", i, m3.m, 3, 3, [&](int r, int c) { return g3[r][c]; });

    Quatf q;
    quatf_multiply(&in.quat[i], &in.quat[n], &q);
    Eigen::Quaternionf eq = eigen(in.quat[i]) * eigen(in.quat[n]);
    glm::quat gq = in.g_quat[i] * in.g_quat[n];
    for (int c = 0; c < 4; ++c) {
      near("quaternion_product/eigen", i, q.v[c], eq.coeffs()[c]);
      near("quaternion_product/glm", i, q.v[c], c == W ? gq.w : gq[c]);
    }

    quatf_to_matrix3f(&in.quat[i], &m3);
    Eigen::Matrix3f er3 = eigen(in.quat[i]).toRotationMatrix();
    g3 = glm::mat3_cast(in.g_quat[i]);
    rows("quaternion_to_matrix/eigen", i, m3.m, 3, 3, [&](int r, int c) { return er3(r, c); });
    rows("quaternion_to_matrix/glm", i, m3.m, 3, 3, [&](int r, int c) { return g3[c][r]; });

    matrix3f_to_quatf(&in.rot3[i], &q);
    eq = Eigen::Quaternionf(eigen(in.rot3[i]));
    gq = glm::quat_cast(in.g_rot3[i]);
    // q and -q are the same rotation; each library picks its own sign.
    const float es = q.v[X] * eq.x() + q.v[Y] * eq.y() + q.v[Z] * eq.z() + q.v[W] * eq.w() < 0 ? -1.0f : 1.0f;
    const float gs = q.v[X] * gq.x + q.v[Y] * gq.y + q.v[Z] * gq.z + q.v[W] * gq.w < 0 ? -1.0f : 1.0f;
    for (int c = 0; c < 4; ++c) {
      near("matrix_to_quaternion/eigen", i, q.v[c], es * eq.coeffs()[c]);
      near("matrix_to_quaternion/glm", i, q.v[c], gs * (c == W ? gq.w : gq[c]));
    }

    euler_to_matrix4f(&in.hpb[i], &m4);
    const float *a = in.hpb[i].v;
    er3 = (Eigen::AngleAxisf(a[X], Eigen::Vector3f::UnitY()) * Eigen::AngleAxisf(a[Y], Eigen::Vector3f::UnitX()) *
           Eigen::AngleAxisf(a[Z], Eigen::Vector3f::UnitZ()))
              .toRotationMatrix();
    g4 = glm::eulerAngleYXZ(a[X], a[Y], a[Z]);
    rows("euler_hpb_to_matrix/eigen", i, m4.m, 4, 3, [&](int r, int c) { return er3(r, c); });
    rows("euler_hpb_to_matrix/glm", i, m4.m, 4, 4, [&](int r, int c) { return g4[c][r]; });

    EulerAngles e;
    matrix4f_to_euler(&in.rot4[i], EULER_HPB, &e);
    angles_match("matrix_to_euler_hpb/ours", i, e.v[X], e.v[Y], e.v[Z]);
    Eigen::Vector3f ea = eigen(in.rot3[i]).eulerAngles(1, 0, 2);
    angles_match("matrix_to_euler_hpb/eigen", i, ea[0], ea[1], ea[2]);
    float h, pitch, b;
    glm::extractEulerAngleYXZ(in.g_rot4[i], h, pitch, b);
    angles_match("matrix_to_euler_hpb/glm", i, h, pitch, b);
  }
  return bad;
}

// Collects nanoseconds per operation by row and library, and prints the table.
class TableReporter : public benchmark::BenchmarkReporter {
public:
  bool ReportContext(const Context &) override { return true; }
  void ReportRuns(const std::vector<Run> &runs) override
  {
    for (const Run &r : runs) {
      // With --benchmark_repetitions the median of the repetitions (reported
      // after them) stands for the row; the other aggregates are left out.
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median")
        continue;
      const std::string name = r.run_name.str();
      const size_t slash = name.find('/');
      const std::string row = name.substr(0, slash);
      times_[row][name.substr(slash + 1)] = r.GetAdjustedCPUTime();
      // Rows in the order they are defined, also when the runs come
      // interleaved (--benchmark_enable_random_interleaving).
      if (!first_.count(row) || r.family_index < first_[row])
        first_[row] = r.family_index;
    }
  }
  void Finalize() override
  {
    std::printf("| operation | ours (ns) | Eigen (ns) | GLM (ns) | ours / fastest peer |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    std::vector<std::string> order;
    for (const auto &[row, index] : first_)
      order.push_back(row);
    std::sort(order.begin(), order.end(), [&](const std::string &a, const std::string &b) { return first_[a] < first_[b]; });
    for (const std::string &row : order) {
      auto &t = times_[row];
      const double peer = std::min(t["eigen"], t["glm"]);
      std::printf("| %s | %.2f | %.2f | %.2f | %.2f |\n", row.c_str(), t["ours"], t["eigen"], t["glm"],
                  t["ours"] / peer);
    }
  }

private:
  std::map<std::string, std::map<std::string, double>> times_;
  std::map<std::string, int64_t> first_; // lowest family index of each row
};

} // namespace

int main(int argc, char **argv)
{
  benchmark::Initialize(&argc, argv);
  if (const int bad = count_disagreements()) {
    std::fprintf(stderr, "%d results differ between the libraries: the rows would not compare the same work\n", bad);
    return 1;
  }
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
