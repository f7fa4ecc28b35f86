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

struct Inputs {
  std::array<std::array<float, 16>, COUNT> m4;   // well-conditioned 4 x 4, row-major
  std::array<std::array<float, 9>, COUNT> m3;    // well-conditioned 3 x 3
  std::array<std::array<float, 9>, COUNT> rot3;  // rotations
  std::array<std::array<float, 4>, COUNT> quat;  // unit quaternions x, y, z, w
  std::array<std::array<float, 3>, COUNT> vec;   // points
  std::array<std::array<float, 3>, COUNT> hpb;   // heading, pitch, bank inside the output ranges
};

const Inputs &inputs()
{
  static const Inputs in = [] {
    Inputs r;
    std::mt19937 gen(12345);
    auto uniform = [&] { return static_cast<float>(gen() % 2000001) / 1000000.0f - 1.0f; };
    for (int i = 0; i < COUNT; ++i) {
      for (int k = 0; k < 16; ++k)
        r.m4[i][k] = uniform() + (k % 5 == 0 ? 3.0f : 0.0f);
      for (int k = 0; k < 9; ++k)
        r.m3[i][k] = uniform() + (k % 4 == 0 ? 3.0f : 0.0f);
      Eigen::Quaternionf q(uniform(), uniform(), uniform(), uniform() + 1.5f);
      q.normalize();
      r.quat[i] = {q.x(), q.y(), q.z(), q.w()};
      Eigen::Matrix<float, 3, 3, Eigen::RowMajor> m = q.toRotationMatrix();
      for (int k = 0; k < 9; ++k)
        r.rot3[i][k] = m.data()[k];
      r.vec[i] = {uniform() * 10, uniform() * 10, uniform() * 10};
      r.hpb[i] = {uniform() * 3.0f, uniform() * 1.5f, uniform() * 3.0f};
    }
    return r;
  }();
  return in;
}

using RowMatrix4f = Eigen::Matrix<float, 4, 4, Eigen::RowMajor>;
using RowMatrix3f = Eigen::Matrix<float, 3, 3, Eigen::RowMajor>;

glm::mat4 to_glm(const std::array<float, 16> &m) { return glm::transpose(glm::make_mat4(m.data())); }
glm::mat3 to_glm(const std::array<float, 9> &m) { return glm::transpose(glm::make_mat3(m.data())); }

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
    (void)in;                                                                                               \
    run(state, [&](int i) { __VA_ARGS__; });                                                                   \
  }                                                                                                         \
  BENCHMARK(BM_##row##_##library)->Name(#row "/" #library)

// ---- 4 x 4 product ----
ROW(matrix4_product, ours, {
  Matrix4f a, b, out;
  std::copy_n(in.m4[i].data(), 16, a.m);
  std::copy_n(in.m4[(i + 1) & (COUNT - 1)].data(), 16, b.m);
  matrix4f_multiply(&a, &b, &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix4_product, eigen, {
  RowMatrix4f a = RowMatrix4f::Map(in.m4[i].data()), b = RowMatrix4f::Map(in.m4[(i + 1) & (COUNT - 1)].data());
  RowMatrix4f out = a * b;
  benchmark::DoNotOptimize(out);
});
ROW(matrix4_product, glm, {
  glm::mat4 out = to_glm(in.m4[(i + 1) & (COUNT - 1)]) * to_glm(in.m4[i]);
  benchmark::DoNotOptimize(out);
});

// ---- 4 x 4 inverse ----
ROW(matrix4_inverse, ours, {
  Matrix4f a, out;
  std::copy_n(in.m4[i].data(), 16, a.m);
  matrix4f_inverse(&a, &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix4_inverse, eigen, {
  RowMatrix4f out = RowMatrix4f::Map(in.m4[i].data()).inverse();
  benchmark::DoNotOptimize(out);
});
ROW(matrix4_inverse, glm, {
  glm::mat4 out = glm::inverse(to_glm(in.m4[i]));
  benchmark::DoNotOptimize(out);
});

// ---- 4 x 4 determinant ----
ROW(matrix4_determinant, ours, {
  Matrix4f a;
  std::copy_n(in.m4[i].data(), 16, a.m);
  benchmark::DoNotOptimize(matrix4f_det(&a));
});
ROW(matrix4_determinant, eigen, { benchmark::DoNotOptimize(RowMatrix4f::Map(in.m4[i].data()).determinant()); });
ROW(matrix4_determinant, glm, { benchmark::DoNotOptimize(glm::determinant(to_glm(in.m4[i]))); });

// ---- point transform (row vector times 4 x 4, divided by w) ----
ROW(point_transform, ours, {
  Matrix4f a;
  std::copy_n(in.m4[i].data(), 16, a.m);
  Vec3f p = {{in.vec[i][0], in.vec[i][1], in.vec[i][2]}}, out;
  matrix4f_transform_point(&p, &a, &out);
  benchmark::DoNotOptimize(out);
});
ROW(point_transform, eigen, {
  Eigen::RowVector4f p(in.vec[i][0], in.vec[i][1], in.vec[i][2], 1.0f);
  Eigen::RowVector4f r = p * RowMatrix4f::Map(in.m4[i].data());
  Eigen::Vector3f out = r.head<3>().transpose() / r[3];
  benchmark::DoNotOptimize(out);
});
ROW(point_transform, glm, {
  glm::vec4 r = glm::vec4(in.vec[i][0], in.vec[i][1], in.vec[i][2], 1.0f) * to_glm(in.m4[i]);
  glm::vec3 out = glm::vec3(r) / r.w;
  benchmark::DoNotOptimize(out);
});

// ---- 3 x 3 inverse ----
ROW(matrix3_inverse, ours, {
  Matrix3f a, out;
  std::copy_n(in.m3[i].data(), 9, a.m);
  matrix3f_inverse(&a, &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix3_inverse, eigen, {
  RowMatrix3f out = RowMatrix3f::Map(in.m3[i].data()).inverse();
  benchmark::DoNotOptimize(out);
});
ROW(matrix3_inverse, glm, {
  glm::mat3 out = glm::inverse(to_glm(in.m3[i]));
  benchmark::DoNotOptimize(out);
});

// ---- quaternion product ----
ROW(quaternion_product, ours, {
  Quatf a, b, out;
  std::copy_n(in.quat[i].data(), 4, a.v);
  std::copy_n(in.quat[(i + 1) & (COUNT - 1)].data(), 4, b.v);
  quatf_multiply(&a, &b, &out);
  benchmark::DoNotOptimize(out);
});
ROW(quaternion_product, eigen, {
  Eigen::Quaternionf a(in.quat[i].data()), b(in.quat[(i + 1) & (COUNT - 1)].data());
  Eigen::Quaternionf out = a * b;
  benchmark::DoNotOptimize(out);
});
ROW(quaternion_product, glm, {
  const auto &p = in.quat[i];
  const auto &q = in.quat[(i + 1) & (COUNT - 1)];
  glm::quat out = glm::quat(p[3], p[0], p[1], p[2]) * glm::quat(q[3], q[0], q[1], q[2]);
  benchmark::DoNotOptimize(out);
});

// ---- quaternion to 3 x 3 matrix ----
ROW(quaternion_to_matrix, ours, {
  Quatf q;
  std::copy_n(in.quat[i].data(), 4, q.v);
  Matrix3f out;
  quatf_to_matrix3f(&q, &out);
  benchmark::DoNotOptimize(out);
});
ROW(quaternion_to_matrix, eigen, {
  Eigen::Matrix3f out = Eigen::Quaternionf(in.quat[i].data()).toRotationMatrix();
  benchmark::DoNotOptimize(out);
});
ROW(quaternion_to_matrix, glm, {
  const auto &p = in.quat[i];
  glm::mat3 out = glm::mat3_cast(glm::quat(p[3], p[0], p[1], p[2]));
  benchmark::DoNotOptimize(out);
});

// ---- 3 x 3 rotation matrix to quaternion ----
ROW(matrix_to_quaternion, ours, {
  Matrix3f m;
  std::copy_n(in.rot3[i].data(), 9, m.m);
  Quatf out;
  matrix3f_to_quatf(&m, &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix_to_quaternion, eigen, {
  Eigen::Quaternionf out(RowMatrix3f::Map(in.rot3[i].data()));
  benchmark::DoNotOptimize(out);
});
ROW(matrix_to_quaternion, glm, {
  glm::quat out = glm::quat_cast(to_glm(in.rot3[i]));
  benchmark::DoNotOptimize(out);
});

// ---- heading, pitch, bank (RY * RX * RZ) to a rotation matrix ----
ROW(euler_hpb_to_matrix, ours, {
  EulerAngles e = euler_make(in.hpb[i][0], in.hpb[i][1], in.hpb[i][2], EULER_HPB);
  Matrix4f out;
  euler_to_matrix4f(&e, &out);
  benchmark::DoNotOptimize(out);
});
ROW(euler_hpb_to_matrix, eigen, {
  Eigen::Matrix3f out = (Eigen::AngleAxisf(in.hpb[i][0], Eigen::Vector3f::UnitY()) *
                         Eigen::AngleAxisf(in.hpb[i][1], Eigen::Vector3f::UnitX()) *
                         Eigen::AngleAxisf(in.hpb[i][2], Eigen::Vector3f::UnitZ()))
                            .toRotationMatrix();
  benchmark::DoNotOptimize(out);
});
ROW(euler_hpb_to_matrix, glm, {
  glm::mat4 out = glm::eulerAngleYXZ(in.hpb[i][0], in.hpb[i][1], in.hpb[i][2]);
  benchmark::DoNotOptimize(out);
});

// ---- rotation matrix back to heading, pitch, bank ----
ROW(matrix_to_euler_hpb, ours, {
  Matrix4f m = {};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      m.m[4 * r + c] = in.rot3[i][3 * r + c];
  m.m[15] = 1.0f;
  EulerAngles out;
  matrix4f_to_euler(&m, EULER_HPB, &out);
  benchmark::DoNotOptimize(out);
});
ROW(matrix_to_euler_hpb, eigen, {
  Eigen::Vector3f out = RowMatrix3f::Map(in.rot3[i].data()).eulerAngles(1, 0, 2);
  benchmark::DoNotOptimize(out);
});
ROW(matrix_to_euler_hpb, glm, {
  float h, p, b;
  glm::extractEulerAngleYXZ(glm::mat4(to_glm(in.rot3[i])), h, p, b);
  benchmark::DoNotOptimize(h);
  benchmark::DoNotOptimize(p);
  benchmark::DoNotOptimize(b);
});

// Collects nanoseconds per operation by row and library, and prints the table.
class TableReporter : public benchmark::BenchmarkReporter {
public:
  bool ReportContext(const Context &) override { return true; }
  void ReportRuns(const std::vector<Run> &runs) override
  {
    for (const Run &r : runs) {
      const std::string name = r.benchmark_name();
      const size_t slash = name.find('/');
      times_[name.substr(0, slash)][name.substr(slash + 1)] = r.GetAdjustedCPUTime();
      if (std::find(order_.begin(), order_.end(), name.substr(0, slash)) == order_.end())
        order_.push_back(name.substr(0, slash));
    }
  }
  void Finalize() override
  {
    std::printf("| operation | ours (ns) | Eigen (ns) | GLM (ns) | ours / fastest peer |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (const std::string &row : order_) {
      auto &t = times_[row];
      const double peer = std::min(t["eigen"], t["glm"]);
      std::printf("| %s | %.2f | %.2f | %.2f | %.2f |\n", row.c_str(), t["ours"], t["eigen"], t["glm"],
                  t["ours"] / peer);
    }
  }

private:
  std::map<std::string, std::map<std::string, double>> times_;
  std::vector<std::string> order_;
};

} // namespace

int main(int argc, char **argv)
{
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
