#pragma once
#include <vector>

#include "framework/Types.h"

// Root of the class tree; gives every object a class name.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  virtual AnsiText ClassName() const { return "TObject"; }
};

// A component has an owner that frees it, a name, and an ordered list of the
// components it owns.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  AnsiText ClassName() const override { return "TComponent"; }

  TComponent* Owner() const noexcept { return owner_; }
  const AnsiText& Name() const noexcept { return name_; }
  void SetName(AnsiText name) { name_ = std::move(name); }

  int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
  TComponent* FindComponent(const AnsiText& name) const;

  // Frees the owned components, last first; done by the destructor too. A
  // derived class whose members are used by its components' destructors
  // calls it at the top of its own destructor.
  void DestroyComponents();

 private:
  void Insert(TComponent* c) { components_.push_back(c); }
  void Remove(TComponent* c);

  TComponent* owner_ = nullptr;
  AnsiText name_;
  std::vector<TComponent*> components_;
};
