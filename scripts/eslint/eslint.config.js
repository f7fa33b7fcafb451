// Lint rules for the browser extension: plain modern JavaScript in a
// Chromium extension (service worker and a page-world content script).
"use strict";

const js = require("@eslint/js");
const globals = require("globals");

module.exports = [
  js.configs.recommended,
  {
    files: ["**/*.js"],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: "script",
      globals: { ...globals.browser, ...globals.serviceworker, chrome: "readonly" },
    },
    rules: {
      "no-unused-vars": ["error", { caughtErrors: "none" }],
      eqeqeq: "error",
      "prefer-const": "error",
      "no-var": "error",
      strict: ["error", "global"],
    },
  },
];
